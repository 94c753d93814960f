// The program's windows as a real X server shows them. A box, the keypad and a drop-down list
// opened over the main window must reach the screen drawn: their pixels are read back from
// the server, not painted by the widget for the test (which would hide a window the server
// never got). A client on the remote socket is answered while each of them is open, and a
// remote command never opens a box that its client would have to wait for.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>

#include "analysis/ui/derived_pages.h"
#include "app/program_pages.h"
#include "app/program_units.h"
#include "controls/edit_switchers.h"
#include "controls/list_switchers.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/program_objects.h"
#include "framework/util/dialog_service.h"
#include "shell/remote/remote_client.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/remote_server.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"
#include "shell/ui/main_controls.h"
#include "shell/ui/program.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv {
namespace {

constexpr int kWaitMs = 15000;

// Turns the event loop that runs now (a box's own included) until `done`, at most timeoutMs.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(20);
  }
  return true;
}

// The server shows the window as it paints itself: not one colour, and nine pixels in ten
// as in its own picture.
bool DrawnOnScreen(QWidget& window) {
  const QRect r = window.geometry();
  const QImage screen = window.screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
  const QImage own = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  if (screen.size() != own.size() || own.isNull()) return false;
  const QImage shown = screen.convertToFormat(QImage::Format_RGB32);
  const QRgb first = shown.pixel(0, 0) & 0xFFFFFF;
  bool oneColour = true;
  qint64 same = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      const QRgb pixel = shown.pixel(x, y) & 0xFFFFFF;
      oneColour = oneColour && pixel == first;
      same += pixel == (own.pixel(x, y) & 0xFFFFFF);
    }
  }
  return !oneColour && same * 10 >= qint64{shown.width()} * shown.height() * 9;
}

class XcbWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    FreshProgramState();
    setenv("VEXILOR_NORV_HOME", test::MakeTempDir("program").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", test::MakeTempDir("runtime").c_str(), 1);
    {
      // Only the windows opened on purpose below may wait for a click.
      const TDialogsSuppressed quiet;
      program_ = TProgram::Start({.Args = {"Default_Demo"},
                                  .RemoteServer = true,
                                  .ScopeWidget = [](TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                    return new TScopeCRTWidget(crt, parent);
                                  },
                                  .InstallUnits = InstallProgramUnits,
                                  .RegisterPages = RegisterProgramPages});
      ASSERT_NE(program_, nullptr);
      window().show();
      ASSERT_TRUE(WaitUntil([] { return ShellState.DeferredStartDone; }));
    }
    client_.Connect(RemoteServer->SocketPath());
  }
  void TearDown() override {
    const TDialogsSuppressed quiet;
    client_.Close();
    program_.reset();
    FreshProgramState();
  }
  TMorda_fr& window() { return program_->Window(); }

  // Sends a line from another thread and turns this thread's loop until the answer: only the
  // program's own servicing answers it.
  std::string Ask(const std::string& line) {
    std::future<std::string> answer = AskLater(line);
    if (!WaitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                   2 * kWaitMs))
      return "no answer";
    return answer.get();
  }
  std::future<std::string> AskLater(const std::string& line) {
    return std::async(std::launch::async, [this, line]() -> std::string {
      try {
        const TReplyReader::TFrame frame = client_.Exchange(line, kWaitMs);
        return (frame.Ok ? "OK " : "ERR ") + frame.Text;
      } catch (const std::exception& e) {
        return std::string("no answer: ") + e.what();
      }
    });
  }

  // Opens a window with `open`, waits until `opened` finds it shown, and checks it on the
  // screen with a remote question while it is open; `close` ends it. A modal box runs its
  // own loop inside `open`, so the checks run from a timer.
  void CheckWhileOpen(const char* what, const std::function<void()>& open,
                      const std::function<QWidget*()>& opened, const std::function<void(QWidget&)>& close) {
    SCOPED_TRACE(what);
    bool checked = false;
    QTimer::singleShot(0, [&] {
      QWidget* shown = nullptr;
      const bool visible = WaitUntil([&] {
        shown = opened();
        return shown != nullptr && shown->isVisible();
      });
      EXPECT_TRUE(visible) << "not opened";
      if (visible) {
        EXPECT_TRUE(WaitUntil([&] { return DrawnOnScreen(*shown); })) << "not drawn on the X server";
        test::MaybeWritePng(shown->screen()->grabWindow(0).toImage(), std::string("xcb_") + what);
        EXPECT_EQ(Ask("TB:ScaleA?"), "OK 20 ns/div") << "the client is not served while it is open";
        close(*shown);
      }
      // A box the checks missed must not hold the test.
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->reject();
      checked = true;
    });
    open();
    EXPECT_TRUE(WaitUntil([&] { return checked; }));
    EXPECT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }));
  }

  std::unique_ptr<TProgram> program_;
  TRemoteClient client_;
};

TEST_F(XcbWindowsTest, BoxKeypadAndListAreDrawnOnTheServerAndTheClientIsServedMeanwhile) {
  EXPECT_TRUE(WaitUntil([&] { return DrawnOnScreen(window()); })) << "the main window";
  EXPECT_EQ(Ask("Header Off;:TB:ScaleA 20N"), "OK ");

  // F12's question.
  CheckWhileOpen(
      "print question", [&] { ClickCommandSwitcher(*window().MainCommandControl("*Print")); },
      [] { return QApplication::activeModalWidget(); },
      [](QWidget& box) { static_cast<QDialog&>(box).reject(); });

  // The keypad over the time base's edit in the strip below the screen.
  TNewCalcFrm& keypad = program_->Keypad();
  CheckWhileOpen(
      "keypad",
      [&] {
        auto* edit = window().PermanentControls()->findChild<TRC_EditSwitcher*>("edswScopeHor_Div");
        test::Click(edit, edit->ValueRect().center());
      },
      [&]() -> QWidget* { return &keypad; }, [&](QWidget&) { keypad.Cancel(); });
  EXPECT_FALSE(keypad.isVisible());

  // The FFT window's drop-down list on the FFT page.
  window().MouseDownOnButtonOfMainMenu(kFFTMenuId, true);
  auto* list = window().findChild<TRC_ListBoxSwitcher*>("lbswFFT_Window");
  ASSERT_NE(list, nullptr);
  TColorComboBox* box = list->ListBox();
  CheckWhileOpen(
      "drop-down list", [&] { test::Click(box, box->rect().center()); },
      [&]() -> QWidget* { return box->view()->window(); }, [&](QWidget&) { box->hidePopup(); });

  // A remote command that would ask: answered at once, its text in the log, no box.
  std::filesystem::remove(SetupFilePath(TSetupKind::Default));
  const size_t logged = DialogState.SuppressedLog.size();
  // A box would run its own loop inside the command: a timer closes it, so that the
  // client gets its answer.
  bool boxOpened = false;
  QTimer closer;
  closer.setInterval(20);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      boxOpened = true;
      modal->reject();
    }
  });
  closer.start();
  std::future<std::string> answer = AskLater("*DefSetup Default");
  WaitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            2 * kWaitMs);
  closer.stop();
  EXPECT_FALSE(boxOpened) << "a remote command opened a box; its client waited for a click";
  // The failure is the client's answer too.
  const std::string name = SetupFilePath(TSetupKind::Default).filename().string();
  const std::string reply = answer.get();
  EXPECT_TRUE(reply.starts_with("ERR ") && reply.find(name) != std::string::npos) << reply;
  ASSERT_EQ(DialogState.SuppressedLog.size(), logged + 1);
  EXPECT_NE(DialogState.SuppressedLog.back().find(name), std::string::npos);
}

}  // namespace
}  // namespace norv
