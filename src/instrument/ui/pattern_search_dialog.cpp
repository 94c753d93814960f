#include "instrument/ui/pattern_search_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "framework/util/dialog_service.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/settings_hooks.h"

namespace norv {

namespace {

QPointer<TfrmFindPatternTrig> Window;
bool SearchRunning = false;

}  // namespace

TfrmFindPatternTrig::TfrmFindPatternTrig(QWidget* owner) : QDialog(owner) {
  setObjectName("frmFindPatternTrig");
  setWindowTitle("Find Pattern Trigger ");
  setAttribute(Qt::WA_DeleteOnClose);
  // Modal for the user, yet never a loop of its own: the acquisition drives the search.
  setWindowModality(Qt::ApplicationModal);
  setFixedSize(300, 60);
  auto* layout = new QVBoxLayout(this);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("ProgressBar1");
  bar_->setRange(0, 100);
  bar_->setValue(0);
  layout->addWidget(bar_);
  if (owner != nullptr) move(owner->frameGeometry().topLeft() + QPoint(229, 49));
}

void TfrmFindPatternTrig::SetProgress(int position) {
  bar_->setValue(std::clamp(position, 0, 100));
  bar_->repaint();
}

void TfrmFindPatternTrig::SearchEnded() {
  ended_ = true;
  close();
}

void TfrmFindPatternTrig::EndSearch() {
  if (std::exchange(ended_, true)) return;
  AbortPatternSearch();
}

void TfrmFindPatternTrig::closeEvent(QCloseEvent* event) {
  EndSearch();
  QDialog::closeEvent(event);
}

void TfrmFindPatternTrig::reject() {
  EndSearch();
  QDialog::reject();
}

void InstallPatternSearchDialog() {
  SearchRunning = false;
  SettingsHooks.PatternSearchProgress.Set([](int position) {
    if (position < 0) {
      SearchRunning = false;
      if (Window) Window->SearchEnded();
      return;
    }
    if (!std::exchange(SearchRunning, true) && !DialogsSuppressed()) {
      Window = new TfrmFindPatternTrig(QApplication::activeWindow());
      Window->show();
    }
    if (Window) Window->SetProgress(position);
  });
}

}  // namespace norv
