#include "support/fake_dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/util/idle_pass.h"

namespace norv::test {

namespace {

template <class T>
T Next(std::deque<T>& queue, T fallback, const std::string& what) {
  if (queue.empty()) {
    ADD_FAILURE() << "no answer queued for " << what;
    return fallback;
  }
  T value = std::move(queue.front());
  queue.pop_front();
  return value;
}

}  // namespace

void FakeDialogs::KeepOpen(const std::string& text) {
  EXPECT_FALSE(IdlePassRuns()) << "a box opened inside an idle pass holds the acquisition: " << text;
  const auto passes = [&] {
    if (!idlePass) return;
    for (int i = 0; i < idlePasses; ++i) RunIdlePass(idlePass);
  };
  passes();
  if (whileShown) whileShown();
  passes();
}

void FakeDialogs::ShowBox(TMessageKind kind, const std::string& text) {
  shown.push_back(SuppressedLogLine(kind, text));
  KeepOpen(text);
}

TAnswer FakeDialogs::DoAsk(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
                           TAnswer defaultAnswer) {
  ShowBox(kind, text);
  const TAnswer answer = Next(answers, defaultAnswer, text);
  EXPECT_NE(std::find(buttons.begin(), buttons.end(), answer), buttons.end()) << "no such button: " << text;
  return answer;
}

int FakeDialogs::DoAskCustom(TMessageKind kind, const std::string& text,
                             const std::vector<std::string>& captions, int defaultButton) {
  ShowBox(kind, text);
  const int answer = Next(customAnswers, defaultButton, text);
  EXPECT_TRUE(answer >= 0 && answer < static_cast<int>(captions.size())) << "no such button: " << text;
  return answer;
}

void FakeDialogs::DoInform(TMessageKind kind, const std::string& text) { ShowBox(kind, text); }

std::optional<TFileChoice> FakeDialogs::DoChooseFile(const TFileRequest& request) {
  shown.push_back(SuppressedLogLine(TMessageKind::Confirmation, request.Title));
  fileRequests.push_back(request);
  KeepOpen(request.Title);
  return Next<std::optional<TFileChoice>>(files, std::nullopt, request.Title);
}

std::optional<uint32_t> FakeDialogs::DoChooseColour(uint32_t, bool) {
  shown.push_back(SuppressedLogLine(TMessageKind::Confirmation, "colour"));
  return Next<std::optional<uint32_t>>(colours, std::nullopt, "colour");
}

bool FakeDialogs::DoPrinterSetup() {
  shown.push_back(SuppressedLogLine(TMessageKind::Confirmation, "printer set-up"));
  return Next(printers, false, "printer set-up");
}

bool FakeDialogs::DoCopyImageToClipboard(const TImageView& image) {
  clipboard.emplace_back(image.Pixels, image.Pixels + static_cast<size_t>(image.Width) * image.Height);
  return true;
}

}  // namespace norv::test
