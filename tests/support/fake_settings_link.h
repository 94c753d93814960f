#pragma once
// A settings link that records every command line the senders give it and answers
// queries from a script, installed for the life of the object.

#include <functional>
#include <string>
#include <vector>

#include "instrument/settings/setting_senders.h"

namespace norv::test {

class FakeSettingsLink final : public ISettingsLink {
 public:
  struct TLine {
    std::string Text;
    bool Keep = false;
  };

  FakeSettingsLink() { SetSettingsLink(this); }
  ~FakeSettingsLink() override { SetSettingsLink(nullptr); }
  FakeSettingsLink(const FakeSettingsLink&) = delete;
  FakeSettingsLink& operator=(const FakeSettingsLink&) = delete;

  void Send(const std::string& command, bool keepAcquisition) override;
  std::string Query(const std::string& command, bool keepAcquisition) override;

  // The reply to every query; "Timeout" when unset.
  std::function<std::string(const std::string& query)> Reply;

  std::vector<std::string> Texts() const;
  // The sent lines that begin with prefix.
  std::vector<std::string> TextsStartingWith(const std::string& prefix) const;
  void Clear() { Lines.clear(); }

  std::vector<TLine> Lines;
};

}  // namespace norv::test
