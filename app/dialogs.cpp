#include "app/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <functional>
#include <future>
#include <memory>

#include "app/control_names.h"
#include "app/qt_text.h"

namespace qorvex {
namespace {

bool OnGuiThread() {
  return QThread::currentThread() == qApp->thread();
}

// Message boxes show the run's "\r\n" as one line break.
QString ForDisplay(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

bool IsYes(const QMessageBox& box) {
  return box.clickedButton() != nullptr &&
         box.standardButton(box.clickedButton()) == QMessageBox::Yes;
}

QFileDialog* MakeSaveDialog(QWidget* parent, const QString& proposedName, const QString& folder) {
  auto* dialog =
      new QFileDialog(parent, ToQString("\xB1\xA3\xB4\xE6\xB2\xC9\xBC\xAF"));  // 保存采集
  dialog->setObjectName(QString::fromUtf8(names::kSaveDialog));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  // One entry shown as 文本文件（*.csv）, matching *.csv; a name is used as typed, without suffix.
  dialog->setNameFilter(ToQString("\xCE\xC4\xB1\xBE\xCE\xC4\xBC\xFE\xA3\xA8*.csv\xA3\xA9") +
                        QStringLiteral(" (*.csv)"));
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setDefaultSuffix(QString());
  if (!folder.isEmpty()) dialog->setDirectory(folder);
  dialog->selectFile(proposedName);
  return dialog;
}

std::optional<QString> ChosenPath(const QFileDialog& dialog, int result) {
  if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

// Opens a dialog without an owner on the GUI thread and waits for its answer, leaving every
// window usable meanwhile. A dialog destroyed unanswered gives the fallback value.
template <typename R, typename D>
R AskOwnerless(std::function<D*()> make, std::function<R(const D&, int)> read, R fallback) {
  auto promise = std::make_shared<std::promise<R>>();
  std::future<R> answer = promise->get_future();
  auto open = [promise, make, read, fallback]() {
    D* dialog = make();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    auto answered = std::make_shared<bool>(false);  // touched on the GUI thread only
    QObject::connect(dialog, &QDialog::finished, dialog, [=](int result) {
      if (*answered) return;
      *answered = true;
      promise->set_value(read(*dialog, result));
    });
    QObject::connect(dialog, &QObject::destroyed, [=]() {
      if (*answered) return;
      *answered = true;
      promise->set_value(fallback);
    });
    dialog->show();
  };
  if (OnGuiThread()) {
    open();
    while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  } else {
    QMetaObject::invokeMethod(qApp, open, Qt::QueuedConnection);
  }
  return answer.get();
}

}  // namespace

void QtDialogs::ShowMessage(const QString& text, const QString& title) {
  AskOwnerless<bool, QMessageBox>(
      [=]() {
        return new QMessageBox(QMessageBox::NoIcon, title, ForDisplay(text), QMessageBox::Ok);
      },
      [](const QMessageBox&, int) { return true; }, true);
}

bool QtDialogs::AskYesNo(const QString& text, const QString& title, Owner owner) {
  const auto buttons = QMessageBox::Yes | QMessageBox::No;
  if (owner == Owner::MainWindow && window_ != nullptr) {
    QWidget* window = window_;
    auto ask = [=]() -> bool {
      QMessageBox box(QMessageBox::Question, title, ForDisplay(text), buttons, window);
      box.setWindowModality(Qt::WindowModal);
      box.exec();
      return IsYes(box);
    };
    if (OnGuiThread()) return ask();
    bool yes = false;
    QMetaObject::invokeMethod(window_, ask, Qt::BlockingQueuedConnection, &yes);
    return yes;
  }
  return AskOwnerless<bool, QMessageBox>(
      [=]() { return new QMessageBox(QMessageBox::Question, title, ForDisplay(text), buttons); },
      [](const QMessageBox& box, int) { return IsYes(box); }, false);
}

std::optional<QString> QtDialogs::AskSavePath(const QString& proposedName, const QString& folder) {
  if (OnGuiThread()) {
    // The export button: an ordinary modal dialog of the window.
    std::unique_ptr<QFileDialog> dialog(MakeSaveDialog(window_, proposedName, folder));
    const int result = dialog->exec();
    return ChosenPath(*dialog, result);
  }
  return AskOwnerless<std::optional<QString>, QFileDialog>(
      [=]() { return MakeSaveDialog(nullptr, proposedName, folder); }, &ChosenPath, std::nullopt);
}

void QtDialogs::ShowWriteFailure(const QString& reason) {
  const QString title = ToQString("\xB5\xBC\xB3\xF6\xCA\xA7\xB0\xDC");  // 导出失败
  const QString text = ToQString("\xCE\xDE\xB7\xA8\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE\xA3\xBA") +
                       reason;  // 无法写入文件：
  if (OnGuiThread()) {
    QMessageBox::warning(window_, title, text);
    return;
  }
  AskOwnerless<bool, QMessageBox>(
      [=]() { return new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok); },
      [](const QMessageBox&, int) { return true; }, true);
}

}  // namespace qorvex
