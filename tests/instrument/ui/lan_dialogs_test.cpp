// The network dialogs driven by clicks and typing against a scripted instrument.

#include "instrument/ui/lan_dialogs.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <memory>

#include "framework/settings/program_objects.h"
#include "instrument/link/instrument_identity.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"

namespace norv::test {
namespace {

template <class W = QPushButton>
W* Child(QWidget* dialog, const char* name) {
  W* w = dialog->findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

void ClickNamed(QWidget* dialog, const char* name) {
  QPushButton* b = Child(dialog, name);
  Click(b, b->rect().center());
}

void Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  PressKey(edit, Qt::Key_Backspace);
  TypeText(edit, text);
}

class LanDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    dialogs = std::make_unique<FakeDialogs>();
  }
  void TearDown() override { FreshProgramState(); }

  // An instrument that stores what it is sent and answers with it in dotted form.
  TLanPort Port() {
    return {true, false, [this](const std::string& line) -> std::string {
              sent.push_back(line);
              const size_t blank = line.find(' ');
              std::string& value = values[line.substr(0, blank)];
              if (blank != std::string::npos) {
                TIPv4Addr a;
                StrToIPv4(line.substr(blank + 1), a);
                value = IPv4ToDottedStr(a);
              }
              return value;
            }};
  }

  std::unique_ptr<FakeDialogs> dialogs;
  std::vector<std::string> sent;
  std::map<std::string, std::string> values{{"Info:TCPIP:MyIP?", "10 0 0 4"},
                                            {"Info:TCPIP:SubMask?", "255 255 255 0"},
                                            {"Info:TCPIP:Gateway?", "10 0 0 1"}};
};

TEST_F(LanDialogsTest, RefusedInputsWriteNothingAndAStoreShowsTheNewValues) {
  TTcpIpFrm dialog(Port());
  dialog.show();
  EXPECT_EQ(Child<QLabel>(&dialog, "lblTarvelIP")->text(), "  10 . 0 . 0 . 4");
  ClickNamed(&dialog, "btnSetTcpIpParameters");
  EXPECT_TRUE(Child<QGroupBox>(&dialog, "gbNewParameters")->isVisible());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "edMyIP")->text(), "10.0.0.4");
  MaybeWritePng(Grab(&dialog), "lan_new_values");
  struct Case {
    const char *ip, *mask, *gateway, *shown;
  };
  const Case refused[] = {
      {"10.0.0", "255.255.255.0", "10.0.0.1", "[error] incorrect IP Address format"},
      {"0.0.0.0", "255.255.255.0", "10.0.0.1", "[error] incorrect IP Address format"},
      {"10.0.0.255", "255.255.255.0", "10.0.0.1", "[error] incorrect IP Address format"},
      {"10.0.0.5", "255.0.255.0", "10.0.0.1", "[error] incorrect Subnet Mask format"},
      {"10.0.0.5", "255.255.255.0", "10.0.1.1", "[error] incorrect Subnet Gateway format"},
  };
  sent.clear();
  for (const Case& c : refused) {
    Retype(Child<QLineEdit>(&dialog, "edMyIP"), c.ip);
    Retype(Child<QLineEdit>(&dialog, "edSubMask"), c.mask);
    Retype(Child<QLineEdit>(&dialog, "edGateway"), c.gateway);
    ClickNamed(&dialog, "btnStore");
    EXPECT_EQ(dialogs->shown.back(), c.shown) << c.ip << " " << c.mask << " " << c.gateway;
  }
  EXPECT_TRUE(sent.empty());
  Retype(Child<QLineEdit>(&dialog, "edMyIP"), "10 0 0 5");
  Retype(Child<QLineEdit>(&dialog, "edGateway"), "10.0.0.1");
  ClickNamed(&dialog, "btnStore");
  EXPECT_EQ(dialogs->shown.back(),
            "[information] New TCP/IP properties successfully stored into the Vexilor Norv!");
  EXPECT_TRUE(Child<QGroupBox>(&dialog, "gbStoredParameters")->isVisible());
  EXPECT_EQ(Child<QLabel>(&dialog, "lblTarvelIP")->text(), "  10 . 0 . 0 . 5");
  MaybeWritePng(Grab(&dialog), "lan_stored_values");
}

TEST_F(LanDialogsTest, MacChangeNeedsTheFirmwareAndAValidNewAddress) {
  InstrumentIdentity.MAC = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  for (const char* version : {"3.10.5", "3.10.6"}) {
    SCOPED_TRACE(version);
    InstrumentIdentity.SWVer.Text = version;
    ParseVersionText(InstrumentIdentity.SWVer);
    TfrmMAC_Address dialog(TLanPort{});
    dialog.show();
    auto* edit = Child<QLineEdit>(&dialog, "edMAC");
    EXPECT_EQ(edit->text(), "00-1A-2B-3C-4D-5E");
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_FALSE(Child(&dialog, "btnStore")->isEnabled());
    const bool allowed = std::string(version) == "3.10.6";
    EXPECT_EQ(Child(&dialog, "btnChange")->isEnabled(), allowed);
    if (!allowed) continue;
    ClickNamed(&dialog, "btnChange");
    EXPECT_EQ(Child(&dialog, "btnChange")->text(), "Cancel");
    for (auto [text, storable] : {std::pair{"00-1A-2B-3C-4D", false},
                                  {"00-1A-2B-3C-4D-5E", false},
                                  {"00-1A-2B-3C-4D-100", false},
                                  {"02 1a 2b 3c 4d 5f", true}}) {
      Retype(edit, text);
      EXPECT_EQ(Child(&dialog, "btnStore")->isEnabled(), storable) << text;
    }
    MaybeWritePng(Grab(&dialog), "mac_editing");
    // Without an instrument nothing is written, and no power-cycle notice follows.
    dialogs->answers = {TAnswer::OK};
    ClickNamed(&dialog, "btnStore");
    EXPECT_EQ(dialogs->shown.back(), "[warning] Nothing was written: no instrument is connected.");
    EXPECT_EQ(edit->text(), "00-1A-2B-3C-4D-5E");
  }
}

}  // namespace
}  // namespace norv::test
