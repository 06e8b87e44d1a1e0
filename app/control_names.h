// The window's control names: each control carries its name as objectName, so tests and the
// screenshot helper find it with findChild.
#pragma once

namespace qorvex::names {

inline constexpr char kWindow[] = "MainWindow";

inline constexpr char kCaptionRow[] = "标签1";
inline constexpr char kKeywordBox[] = "编辑框_关键词";
inline constexpr char kAreaBox[] = "编辑框_地址";
inline constexpr char kFilterBox[] = "编辑框_过滤";
inline constexpr char kThreadBox[] = "编辑框_线程";
inline constexpr char kTimeoutBox[] = "编辑框_超时";

inline constexpr char kStartSearchButton[] = "按钮_开始公司";
inline constexpr char kStartDetailButton[] = "按钮_开始信息";
inline constexpr char kStopButton[] = "按钮_停止";
inline constexpr char kClearAllButton[] = "按钮_清空公司";
inline constexpr char kClearDetailsButton[] = "按钮_清空信息";
inline constexpr char kExportButton[] = "按钮_导出";

inline constexpr char kList[] = "超级列表框1";
inline constexpr char kRequiredCaption[] = "标签2";

inline constexpr char kRequireContact[] = "选择框_联系人";
inline constexpr char kRequireMobile[] = "选择框_手机";
inline constexpr char kRequirePhone[] = "选择框_电话";
inline constexpr char kRequireFax[] = "选择框_传真";
inline constexpr char kRequireEmail[] = "选择框_邮箱";
inline constexpr char kRequireQQ[] = "选择框_QQ";
inline constexpr char kRequireAddress[] = "选择框_地址";
inline constexpr char kConfirmDetails[] = "选择框_采集确认";
inline constexpr char kExportPrompt[] = "选择框_导出提示";
inline constexpr char kNumberSwap[] = "选择框_手机电话识别";
inline constexpr char kStrongMobile[] = "选择框_手机号强过滤";

inline constexpr char kStatusBar[] = "状态条1";
/// Panel i of the status bar is named kStatusPanelPrefix followed by i (0..9).
inline constexpr char kStatusPanelPrefix[] = "状态条1_";
inline constexpr char kClock[] = "时钟1";
inline constexpr char kSaveDialog[] = "通用对话框1";

}  // namespace qorvex::names
