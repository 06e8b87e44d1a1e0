#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <functional>
#include <utility>
#include <vector>

#include "app/control_names.h"
#include "app/qt_text.h"
#include "app/result_model.h"

// Resources of a static library are registered by hand, outside any namespace.
static void RegisterWindowResources() {
  Q_INIT_RESOURCE(qorvex);
}

namespace qorvex {
namespace {

QString Name(const char* name) {
  return QString::fromUtf8(name);
}

// Routes one widget's events to a function; true swallows the event.
class EventHook : public QObject {
 public:
  using Handler = std::function<bool(QEvent*)>;
  EventHook(QObject* watched, Handler handler) : QObject(watched), handler_(std::move(handler)) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override { return handler_(event); }

 private:
  Handler handler_;
};

bool AllowedInNumberBox(QChar c) {
  return (c >= u'0' && c <= u'9') || c == u'-';
}

// Typed characters other than digits and "-" never reach a number box; control characters
// and shortcuts (Backspace, Ctrl+V, ...) pass, and pasted text is not filtered.
bool DropsTypedText(QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    return !text.isEmpty() && text.front().unicode() >= 32 && !AllowedInNumberBox(text.front());
  }
  if (event->type() == QEvent::InputMethod) {
    const auto* input = static_cast<QInputMethodEvent*>(event);
    for (QChar c : input->commitString()) {
      if (!AllowedInNumberBox(c)) return true;
    }
  }
  return false;
}

// The top row's captions are one label whose words sit in the gaps left of the boxes that lie
// over it; spaces alone would place them by the font's space width.
class CaptionRow : public QLabel {
 public:
  CaptionRow(const QString& text, std::vector<std::pair<int, int>> gaps, QWidget* parent)
      : QLabel(text, parent), gaps_(std::move(gaps)) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    const QStringList words = text().split(u' ', Qt::SkipEmptyParts);
    if (words.size() != static_cast<qsizetype>(gaps_.size())) {
      QLabel::paintEvent(event);
      return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (qsizetype i = 0; i < words.size(); ++i) {
      const auto [left, right] = gaps_[static_cast<size_t>(i)];
      painter.drawText(QRect(left, 0, right - left, height()), Qt::AlignCenter, words[i]);
    }
  }

 private:
  std::vector<std::pair<int, int>> gaps_;
};

struct CheckSpec {
  CheckBox box;
  const char* name;
  const char* text;  // code page 936
  QRect place;
  bool ticked;
};

const CheckSpec kChecks[] = {
    {CheckBox::RequireContact,
     names::kRequireContact,
     "\xC1\xAA\xCF\xB5\xC8\xCB",  // 联系人
     {52, 462, 64, 16},
     false},
    {CheckBox::RequireMobile,
     names::kRequireMobile,
     "\xCA\xD6\xBB\xFA",  // 手机
     {112, 462, 52, 16},
     false},
    {CheckBox::RequirePhone,
     names::kRequirePhone,
     "\xB5\xE7\xBB\xB0",  // 电话
     {161, 462, 52, 16},
     false},
    {CheckBox::RequireFax,
     names::kRequireFax,
     "\xB4\xAB\xD5\xE6",  // 传真
     {212, 462, 52, 16},
     false},
    {CheckBox::RequireEmail,
     names::kRequireEmail,
     "\xD3\xCA\xCF\xE4",  // 邮箱
     {261, 462, 52, 16},
     false},
    {CheckBox::RequireQQ, names::kRequireQQ, "QQ", {312, 462, 52, 16}, false},
    {CheckBox::RequireAddress,
     names::kRequireAddress,
     "\xB5\xD8\xD6\xB7",  // 地址
     {352, 462, 52, 16},
     false},
    {CheckBox::ConfirmDetails,
     names::kConfirmDetails,
     "\xD0\xC5\xCF\xA2\xB2\xC9\xBC\xAF\xC8\xB7\xC8\xCF",  // 信息采集确认
     {547, 462, 93, 16},
     false},
    {CheckBox::ExportPrompt,
     names::kExportPrompt,
     "\xCC\xE1\xCA\xBE\xB5\xBC\xB3\xF6",  // 提示导出
     {641, 462, 71, 16},
     true},
    {CheckBox::NumberSwap,
     names::kNumberSwap,
     "\xBA\xC5\xC2\xEB\xCA\xB6\xB1\xF0\xBD\xBB\xBB\xBB",  // 号码识别交换
     {714, 462, 95, 16},
     true},
    {CheckBox::StrongMobile,
     names::kStrongMobile,
     "\xCA\xD6\xBB\xFA\xC7\xBF\xB9\xFD\xC2\xCB",  // 手机强过滤
     {809, 462, 80, 16},
     true},
};

// The status panels' widths; the last one takes the rest of the bar.
constexpr int kPanelWidths[kPanelCount - 1] = {120, 100, 90, 70, 80, 80, 70, 100, 80};

const char* const kOpeningPanels[kPanelCount] = {
    " \xB9\xD8\xBC\xFC\xD7\xD6:",  //  关键字:
    "\xB9\xFD\xC2\xCB\xD7\xD6:",   // 过滤字:
    "\xB5\xD8\xD6\xB7:",           // 地址:
    "\xB9\xB2"
    "0\xD2\xB3",  // 共0页
    "\xB9\xB2"
    "0\xCC\xF5",  // 共0条
    "\xB5\xDA"
    "0\xCC\xF5",  // 第0条
    "\xB9\xFD\xC2\xCB"
    "0\xCC\xF5",  // 过滤0条
    "\xD3\xD0\xD0\xA7"
    "0\xCC\xF5",                                  // 有效0条
    "\xD7\xB4\xCC\xAC:\xCE\xB4\xBF\xAA\xCA\xBC",  // 状态:未开始
    "",
};

}  // namespace

MainWindow::MainWindow(Options options) : QWidget(nullptr) {
  RegisterWindowResources();
  setObjectName(Name(names::kWindow));
  setWindowTitle(ToQString("Qorvex\xB2\xC9\xBC\xAF"));  // Qorvex采集
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  QIcon icon;
  for (int size : {64, 32, 16}) {
    icon.addFile(QStringLiteral(":/qorvex/icon-%1.png").arg(size), QSize(size, size));
  }
  setWindowIcon(icon);

  BuildControls();

  model_ = new ResultModel(table_, this);
  list_->setModel(model_);
  for (int c = 0; c < kColumnCount; ++c) {
    list_->horizontalHeader()->resizeSection(c, Columns()[static_cast<size_t>(c)].width);
  }

  WindowBridge::Widgets widgets;
  widgets.panels = panels_;
  widgets.clock = clock_;
  widgets.startSearch = startSearch_;
  widgets.startDetail = startDetail_;
  widgets.list = list_;
  if (!options.dialogs) options.dialogs = std::make_shared<QtDialogs>(this);
  bridge_ = new WindowBridge(widgets, std::move(options.dialogs), std::move(options.openUrl), this);
  for (int i = 0; i < kEditBoxCount; ++i) {
    const QLineEdit* boxes[kEditBoxCount] = {keywordBox_, areaBox_, filterBox_, threadBox_,
                                             timeoutBox_};
    bridge_->NoteBoxText(static_cast<EditBox>(i), boxes[i]->text());
  }
  for (const CheckSpec& check : kChecks) {
    bridge_->NoteTicked(check.box, checkBoxes_[static_cast<size_t>(check.box)]->isChecked());
  }

  engine_ = std::make_unique<Engine>(table_, *bridge_, std::move(options.site),
                                     std::move(options.fetcher));
  engine_->SetTimeoutSeconds(TimeoutFromBox(ToAnsi(timeoutBox_->text())));
  WireEvents();

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

MainWindow::~MainWindow() {
  // Workers still call the bridge and write the table: stop them before either goes. The model
  // is a child, which would outlive the table, a member.
  engine_.reset();
  delete model_;
  model_ = nullptr;
}

void MainWindow::BuildControls() {
  auto edit = [this](const char* name, QRect place, const char* text) {
    auto* box = new QLineEdit(ToQString(text), this);
    box->setObjectName(Name(name));
    box->setGeometry(place);
    box->setFrame(true);
    box->setAlignment(Qt::AlignCenter);
    QPalette colors = box->palette();
    colors.setColor(QPalette::Base, Qt::white);
    colors.setColor(QPalette::Text, Qt::black);
    box->setPalette(colors);
    return box;
  };
  auto button = [this](const char* name, QRect place, const char* text) {
    auto* b = new QPushButton(ToQString(text), this);
    b->setObjectName(Name(name));
    b->setGeometry(place);
    b->setAutoDefault(false);
    return b;
  };

  // The caption row lies under the boxes, so it is made first.
  const QRect keywordPlace(51, 11, 108, 22), areaPlace(196, 11, 53, 22),
      filterPlace(286, 11, 53, 22), threadPlace(376, 11, 36, 22), timeoutPlace(446, 11, 36, 22);
  const QRect captionPlace(10, 9, 438, 24);
  std::vector<std::pair<int, int>> gaps;
  int gapLeft = captionPlace.left();
  for (const QRect& box : {keywordPlace, areaPlace, filterPlace, threadPlace, timeoutPlace}) {
    gaps.emplace_back(gapLeft - captionPlace.left(), box.left() - captionPlace.left());
    gapLeft = box.left() + box.width();
  }
  auto* caption = new CaptionRow(
      // 关键字 (20 spaces) 地址 (11) 过滤 (11) 线程 (8) 超时
      ToQString("\xB9\xD8\xBC\xFC\xD7\xD6                    \xB5\xD8\xD6\xB7           "
                "\xB9\xFD\xC2\xCB           \xCF\xDF\xB3\xCC        \xB3\xAC\xCA\xB1"),
      std::move(gaps), this);
  caption->setObjectName(Name(names::kCaptionRow));
  caption->setGeometry(captionPlace);

  keywordBox_ = edit(names::kKeywordBox, keywordPlace, "");
  areaBox_ = edit(names::kAreaBox, areaPlace, "");
  filterBox_ = edit(names::kFilterBox, filterPlace, "");
  threadBox_ = edit(names::kThreadBox, threadPlace, "10");
  timeoutBox_ = edit(names::kTimeoutBox, timeoutPlace, "10");
  timeoutBox_->setMaxLength(3);
  for (QLineEdit* box : {threadBox_, timeoutBox_})
    new EventHook(box, DropsTypedText);

  startSearch_ = button(names::kStartSearchButton, {490, 8, 83, 26},
                        "\xBF\xAA\xCA\xBC\xB2\xC9\xBC\xAF\xB9\xAB\xCB\xBE");  // 开始采集公司
  startDetail_ = button(names::kStartDetailButton, {576, 8, 83, 26},
                        "\xB2\xC9\xBC\xAF\xB9\xAB\xCB\xBE\xD0\xC5\xCF\xA2");  // 采集公司信息
  stop_ = button(names::kStopButton, {662, 8, 44, 26}, "\xCD\xA3\xD6\xB9");   // 停止
  clearAll_ = button(names::kClearAllButton, {709, 8, 63, 26},
                     "\xC7\xE5\xBF\xD5\xC8\xAB\xB2\xBF");  // 清空全部
  clearDetails_ = button(names::kClearDetailsButton, {775, 8, 63, 26},
                         "\xC7\xE5\xBF\xD5\xD0\xC5\xCF\xA2");                    // 清空信息
  export_ = button(names::kExportButton, {841, 8, 44, 26}, "\xB5\xBC\xB3\xF6");  // 导出

  list_ = new QTableView(this);
  list_->setObjectName(Name(names::kList));
  list_->setGeometry(6, 38, 879, 419);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setShowGrid(true);
  list_->setSortingEnabled(false);
  list_->setWordWrap(false);
  list_->setTextElideMode(Qt::ElideNone);
  list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  QHeaderView* header = list_->horizontalHeader();
  header->setSectionsClickable(false);
  header->setSectionsMovable(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setMinimumSectionSize(0);  // the ID column is a full column of width 0
  header->setStretchLastSection(false);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QPalette listColors = list_->palette();
  listColors.setColor(QPalette::Base, Qt::white);
  listColors.setColor(QPalette::Text, Qt::black);
  list_->setPalette(listColors);

  auto* required = new QLabel(ToQString("\xB2\xBB\xBF\xC9\xBF\xD5:"), this);  // 不可空:
  required->setObjectName(Name(names::kRequiredCaption));
  required->setGeometry(8, 457, 80, 24);
  required->lower();  // the first check box lies over its right part

  for (const CheckSpec& check : kChecks) {
    auto* box = new QCheckBox(ToQString(check.text), this);
    box->setObjectName(Name(check.name));
    box->setGeometry(check.place);
    box->setChecked(check.ticked);
    checkBoxes_[static_cast<size_t>(check.box)] = box;
  }

  auto* statusBar = new QWidget(this);
  statusBar->setObjectName(Name(names::kStatusBar));
  statusBar->setGeometry(0, 483, kClientWidth, 20);
  int left = 0;
  for (int i = 0; i < kPanelCount; ++i) {
    const int width = i < kPanelCount - 1 ? kPanelWidths[i] : kClientWidth - left;
    auto* panel = new QLabel(ToQString(kOpeningPanels[i]), statusBar);
    panel->setObjectName(Name(names::kStatusPanelPrefix) + QString::number(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(left, 0, width, 20);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->setTextFormat(Qt::PlainText);
    panels_[static_cast<size_t>(i)] = panel;
    left += width;
  }

  clock_ = new QTimer(this);
  clock_->setObjectName(Name(names::kClock));
}

void MainWindow::WireEvents() {
  const std::pair<QLineEdit*, EditBox> boxes[] = {{keywordBox_, EditBox::Keyword},
                                                  {areaBox_, EditBox::Area},
                                                  {filterBox_, EditBox::Filter},
                                                  {threadBox_, EditBox::Threads},
                                                  {timeoutBox_, EditBox::Timeout}};
  for (const auto& [box, which] : boxes) {
    connect(box, &QLineEdit::textChanged, this,
            [this, which = which](const QString& text) { bridge_->NoteBoxText(which, text); });
  }
  // Writing the correction changes the text again, which runs the rule once more.
  connect(threadBox_, &QLineEdit::textChanged, this, &MainWindow::ApplyThreadRule);
  connect(timeoutBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
    engine_->SetTimeoutSeconds(TimeoutFromBox(ToAnsi(text)));
  });
  for (const CheckSpec& check : kChecks) {
    connect(checkBoxes_[static_cast<size_t>(check.box)], &QCheckBox::stateChanged, this,
            [this, box = check.box](int state) { bridge_->NoteTicked(box, state == Qt::Checked); });
  }

  connect(startSearch_, &QPushButton::clicked, this, [this]() { engine_->StartCompanySearch(); });
  connect(startDetail_, &QPushButton::clicked, this,
          [this]() { engine_->StartDetailCollection(); });
  connect(stop_, &QPushButton::clicked, this, [this]() { engine_->StopRun(); });
  connect(clearAll_, &QPushButton::clicked, this, [this]() {
    engine_->DeleteAllRows();
    model_->Sync();
  });
  connect(clearDetails_, &QPushButton::clicked, this, [this]() {
    engine_->ClearDetails();
    model_->Sync();
  });
  connect(export_, &QPushButton::clicked, this, [this]() { engine_->ExportCsv(); });

  // Anywhere in the list, rows or not; queued so that the list first selects the row under
  // the pointer.
  new EventHook(list_->viewport(), [this](QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
      QMetaObject::invokeMethod(
          this, [this]() { engine_->OpenCompanyPage(); }, Qt::QueuedConnection);
    }
    return false;
  });
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
          [this]() { selectedBeforeReset_ = model_->IdAt(bridge_->SelectedRow()); });
  connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::KeepSelectionAcrossReset);

  connect(clock_, &QTimer::timeout, this,
          [this]() { bridge_->SetPanelText(kPanelCount - 1, engine_->ElapsedText()); });

  // Esc closes the window like its close box, whichever control has the focus.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::ApplyThreadRule() {
  if (const auto correction = ThreadBoxCorrection(ToAnsi(threadBox_->text()))) {
    threadBox_->setText(ToQString(*correction));
  }
}

void MainWindow::KeepSelectionAcrossReset() {
  const int row = model_->RowOf(selectedBeforeReset_);
  selectedBeforeReset_ = 0;
  if (row >= 0) list_->selectRow(row);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  engine_->RequestClose();
  event->accept();
  emit closed();
}

}  // namespace qorvex
