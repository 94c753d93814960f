#include "platform/program_restart.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

namespace norv {

namespace {
bool restartAfterExit = false;
}

void RequestRestartAfterExit(bool restart) { restartAfterExit = restart; }

bool RestartAfterExitRequested() { return restartAfterExit; }

bool StartProgramCopy(const std::vector<std::string>& args) {
  QStringList arguments;
  for (const std::string& arg : args) arguments << QString::fromStdString(arg);
  return QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments);
}

}  // namespace norv
