// The framing of remote control: the bytes a client sends, split into requests by the
// program, and the bytes a program sends, split into answers by the client, whatever
// pieces they arrive in.
//
// Input: one byte for the request limit (16..271 bytes, so that long lines are common), up
// to eight bytes of piece sizes, then the bytes. Properties: the pieces change nothing;
// every request is UTF-8 without LF and within the limit; a stream of whole, valid lines
// comes out line for line; answers made of the requests read back as sent.

#include <cstring>
#include <string>
#include <vector>

#include "shell/remote/remote_protocol.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

std::vector<std::string_view> Pieces(std::string_view data, const uint8_t* sizes, size_t count) {
  std::vector<std::string_view> pieces;
  for (size_t i = 0; !data.empty(); ++i) {
    const size_t size = std::min<size_t>(data.size(), count ? 1 + sizes[i % count] : data.size());
    pieces.push_back(data.substr(0, size));
    data.remove_prefix(size);
  }
  return pieces;
}

std::string Describe(TRequestReader& reader) {
  std::string text;
  while (std::optional<TRequestReader::TEvent> event = reader.Next())
    text += std::to_string(static_cast<int>(event->Kind)) + ":" + event->Line + "\n";
  return text;
}

std::string Describe(TReplyReader& reader) {
  std::string text;
  while (std::optional<TReplyReader::TFrame> frame = reader.Next())
    text += (frame->Ok ? "OK:" : "ERR:") + frame->Text + "\n";
  return text + (reader.Broken() ? "broken" : "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 16) return 0;
  const size_t limit = 16 + data[0];
  const size_t sizeCount = std::min<size_t>(data[1] % 9, size - 2);
  const uint8_t* sizes = data + 2;
  const std::string_view bytes = fuzz::AsText(data + 2 + sizeCount, size - 2 - sizeCount);

  // Requests.
  TRequestReader whole(limit), pieced(limit);
  whole.Feed(bytes);
  for (std::string_view piece : Pieces(bytes, sizes, sizeCount)) pieced.Feed(piece);
  const std::string expected = Describe(whole);
  fuzz::Require(Describe(pieced) == expected, "pieces change the requests", bytes);

  TRequestReader reader(limit);
  reader.Feed(bytes);
  std::string lines, answers;
  bool allLines = true;
  while (std::optional<TRequestReader::TEvent> event = reader.Next()) {
    if (event->Kind != TRequestReader::TKind::Line) {
      allLines = false;
      continue;
    }
    fuzz::Require(event->Line.find('\n') == std::string::npos && event->Line.size() <= limit &&
                      IsValidUtf8(event->Line),
                  "a request with LF, over the limit or not UTF-8", event->Line);
    lines += event->Line + "\n";
    answers += EncodeFrame(event->Line.size() % 2 == 0, event->Line);
  }
  if (allLines) {
    const size_t lastLf = bytes.rfind('\n');
    const std::string_view complete = lastLf == std::string_view::npos ? "" : bytes.substr(0, lastLf + 1);
    fuzz::Require(lines == complete, "whole valid lines do not come out as sent", bytes);
  }

  // Answers made of the requests read back as sent, in pieces too.
  TReplyReader replies;
  for (std::string_view piece : Pieces(answers, sizes, sizeCount)) replies.Feed(piece);
  std::string echoed;
  while (std::optional<TReplyReader::TFrame> frame = replies.Next()) echoed += frame->Text + "\n";
  fuzz::Require(!replies.Broken() && !replies.InsideFrame() && echoed == lines, "answers do not read back");

  // Whatever a program might send: the pieces change nothing there either.
  TReplyReader wholeReply, piecedReply;
  wholeReply.Feed(bytes);
  for (std::string_view piece : Pieces(bytes, sizes, sizeCount)) piecedReply.Feed(piece);
  fuzz::Require(Describe(piecedReply) == Describe(wholeReply), "pieces change the answers", bytes);
  return 0;
}
