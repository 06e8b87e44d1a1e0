// What the collection core needs of a window: status panels, the elapsed-time timer, the two
// start buttons, the boxes and check boxes, the questions and the save path. The Qt window
// implements it by handing everything to its GUI thread, the command-line front end by plain
// code, tests by fakes.
//
// Threads: unless a method says otherwise it is called from any thread (workers, run threads,
// the short-lived threads of StopRun, the GUI thread) and must return at once without waiting
// for the GUI. The questions and the save path block only the calling thread.
#pragma once

#include <optional>
#include <string>

#include "text/text.h"

namespace qorvex {

/// The window's edit boxes that the runs read.
enum class EditBox { Keyword, Area, Filter, Threads, Timeout };

/// The window's check boxes; "ticked" means state 1.
enum class CheckBox {
  RequireContact,  // 选择框_联系人
  RequireMobile,   // 选择框_手机
  RequirePhone,    // 选择框_电话
  RequireFax,      // 选择框_传真
  RequireEmail,    // 选择框_邮箱
  RequireQQ,       // 选择框_QQ
  RequireAddress,  // 选择框_地址
  ConfirmDetails,  // 选择框_采集确认
  ExportPrompt,    // 选择框_导出提示
  NumberSwap,      // 选择框_手机电话识别
  StrongMobile,    // 选择框_手机号强过滤
};

/// How a question relates to the main window.
enum class Owner { MainWindow, None };

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  /// Writes one status panel (0..9; other indices are ignored). Cheap; never blocks.
  virtual void SetPanelText(int panel, const Text& text) = 0;
  /// Sets the elapsed-time timer's period in milliseconds (0 stops it).
  virtual void SetTimerPeriod(int milliseconds) = 0;
  virtual int TimerPeriod() const = 0;
  /// Enables or disables both start buttons.
  virtual void SetStartButtonsEnabled(bool enabled) = 0;

  /// The box's text as it stands now (code page 936).
  virtual Text BoxText(EditBox box) const = 0;
  /// Whether the check box is ticked now.
  virtual bool IsTicked(CheckBox box) const = 0;

  /// A message with an OK button and no owner window. Blocks the calling thread only.
  virtual void ShowMessage(const Text& text, const Text& title) = 0;
  /// A Yes/No question with the question icon; true for Yes. Blocks the calling thread only;
  /// Owner::MainWindow makes it modal to the window.
  virtual bool AskYesNo(const Text& text, const Text& title, Owner owner) = 0;
  /// The save dialog: proposed file name (code page 936) and initial folder (UTF-8, may be
  /// empty). Returns the confirmed path (UTF-8), or nothing when cancelled.
  virtual std::optional<std::string> AskSavePath(const Text& proposedName,
                                                 const std::string& folder) = 0;
  /// Reports an export that could not be written (reason in UTF-8).
  virtual void ShowWriteFailure(const std::string& reason) = 0;

  /// The selected table row, or -1. Called on the GUI thread.
  virtual int SelectedRow() const = 0;
  /// Opens an address (UTF-8) in the default browser. Called on the GUI thread.
  virtual void OpenUrl(const std::string& url) = 0;
};

}  // namespace qorvex
