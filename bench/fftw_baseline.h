#pragma once
// Planned FFTW transforms, forward (in -> mid) and back (mid -> out), of one size: the
// baseline of the benchmarks whose job includes the program's own FFT.

#include <fftw3.h>

namespace norv::bench {

struct TFftwBaseline {
  explicit TFftwBaseline(int points)
      : in(fftw_alloc_complex(points)),
        mid(fftw_alloc_complex(points)),
        out(fftw_alloc_complex(points)),
        forward(fftw_plan_dft_1d(points, in, mid, FFTW_FORWARD, FFTW_MEASURE)),
        backward(fftw_plan_dft_1d(points, mid, out, FFTW_BACKWARD, FFTW_MEASURE)) {}
  ~TFftwBaseline() {
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
    fftw_free(in);
    fftw_free(mid);
    fftw_free(out);
  }
  TFftwBaseline(const TFftwBaseline&) = delete;
  TFftwBaseline& operator=(const TFftwBaseline&) = delete;

  fftw_complex* const in;
  fftw_complex* const mid;
  fftw_complex* const out;
  const fftw_plan forward;
  const fftw_plan backward;
};

}  // namespace norv::bench
