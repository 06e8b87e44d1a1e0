// The window: its opening state, the rules of its boxes, the wiring of its buttons and events to
// the collection core, the bridge from worker threads, and whole runs against the sample site.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/control_names.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/result_model.h"
#include "fetch/fetch.h"
#include "results/csv.h"
#include "sample-site/sample_site.h"
#include "text/codepage.h"

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace qorvex {
namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// Runs the event loop until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 10000) {
  QDeadlineTimer deadline(milliseconds);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// Types text as key presses, for characters the test library's key table lacks.
void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// Answers the run's questions from a script and records what was asked, from any thread.
class FakeDialogs : public Dialogs {
 public:
  struct Call {
    std::string kind;
    QString text;
    QString title;
    Owner owner = Owner::None;
    bool onGuiThread = false;
  };

  void ShowMessage(const QString& text, const QString& title) override {
    Record({"message", text, title, Owner::None, OnGui()});
  }
  bool AskYesNo(const QString& text, const QString& title, Owner owner) override {
    Record({"question", text, title, owner, OnGui()});
    return yes.load();
  }
  std::optional<QString> AskSavePath(const QString& proposedName, const QString& folder) override {
    Record({"save", proposedName, folder, Owner::None, OnGui()});
    std::lock_guard lock(mutex_);
    return savePath;
  }
  void ShowWriteFailure(const QString& reason) override {
    Record({"failure", reason, {}, Owner::None, OnGui()});
  }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void SetSavePath(std::optional<QString> path) {
    std::lock_guard lock(mutex_);
    savePath = std::move(path);
  }

  std::atomic<bool> yes{true};

 private:
  static bool OnGui() { return QThread::currentThread() == qApp->thread(); }
  void Record(Call call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::optional<QString> savePath;
};

// A site that is never reached: every fetch fails at once and is recorded.
class FakeFetcher {
 public:
  ByteBuffer operator()(const Text& url, const Text&, int timeoutSeconds) {
    std::lock_guard lock(mutex_);
    urls_.push_back(url);
    timeouts_.push_back(timeoutSeconds);
    return {};
  }
  int Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(timeouts_.size());
  }
  int LastTimeout() const {
    std::lock_guard lock(mutex_);
    return timeouts_.empty() ? -12345 : timeouts_.back();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Text> urls_;
  std::vector<int> timeouts_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SiteConfig site;
    site.searchUrlPrefix = "http://127.0.0.1:1/scom?kw=";
    site.companyPageBase = "http://127.0.0.1:1/";
    site.companyLinkMarker = "127.0.0.1:1/";
    Open(site, [fetcher = fetcher_](const Text& url, const Text& verb, int timeout) {
      return (*fetcher)(url, verb, timeout);
    });
  }

  void Open(SiteConfig site, Fetcher fetcher) {
    window_.reset();
    MainWindow::Options options;
    options.site = std::move(site);
    options.dialogs = dialogs_;
    options.openUrl = [this](const QString& url) { openedUrls_.push_back(url); };
    options.fetcher = std::move(fetcher);
    window_ = std::make_unique<MainWindow>(std::move(options));
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }

  void TearDown() override { window_.reset(); }

  template <typename T = QWidget>
  T* Find(const char* name) const {
    T* widget = window_->findChild<T*>(U(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLineEdit* Box(const char* name) const { return Find<QLineEdit>(name); }
  QString Panel(int i) const {
    return Find<QLabel>((std::string(names::kStatusPanelPrefix) + std::to_string(i)).c_str())
        ->text();
  }
  void Click(const char* name) { Find<QPushButton>(name)->click(); }
  QString Cell(int row, int column) const {
    return window_->model().index(row, column).data().toString();
  }
  bool WaitForModelRows(int rows) {
    return WaitUntil([&]() { return window_->model().rowCount() == rows; });
  }
  // A search whose fetches all fail ends at once with its message; wait for that.
  bool RunFailingSearch() {
    const size_t before = dialogs_->Calls().size();
    Click(names::kStartSearchButton);
    return WaitUntil([&]() {
      return dialogs_->Calls().size() > before &&
             window_->engine().WaitForQuiet(std::chrono::milliseconds(0)) &&
             Find(names::kStartSearchButton)->isEnabled();
    });
  }

  std::shared_ptr<FakeDialogs> dialogs_ = std::make_shared<FakeDialogs>();
  std::shared_ptr<FakeFetcher> fetcher_ = std::make_shared<FakeFetcher>();
  std::vector<QString> openedUrls_;
  std::unique_ptr<MainWindow> window_;
};

QString TextOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  return QStringLiteral("<no text>");
}

TEST_F(WindowTest, OpensWithEveryControlInPlace) {
  const QString captions = U("关键字") + QString(20, u' ') + U("地址") + QString(11, u' ') +
                           U("过滤") + QString(11, u' ') + U("线程") + QString(8, u' ') + U("超时");
  struct Control {
    const char* name;
    QString text;
    QRect place;
    int ticked;  // -1: not a check box
  };
  const Control controls[] = {
      {names::kCaptionRow, captions, {10, 9, 438, 24}, -1},
      {names::kKeywordBox, "", {51, 11, 108, 22}, -1},
      {names::kAreaBox, "", {196, 11, 53, 22}, -1},
      {names::kFilterBox, "", {286, 11, 53, 22}, -1},
      {names::kThreadBox, "10", {376, 11, 36, 22}, -1},
      {names::kTimeoutBox, "10", {446, 11, 36, 22}, -1},
      {names::kStartSearchButton, U("开始采集公司"), {490, 8, 83, 26}, -1},
      {names::kStartDetailButton, U("采集公司信息"), {576, 8, 83, 26}, -1},
      {names::kStopButton, U("停止"), {662, 8, 44, 26}, -1},
      {names::kClearAllButton, U("清空全部"), {709, 8, 63, 26}, -1},
      {names::kClearDetailsButton, U("清空信息"), {775, 8, 63, 26}, -1},
      {names::kExportButton, U("导出"), {841, 8, 44, 26}, -1},
      {names::kList, "<no text>", {6, 38, 879, 419}, -1},
      {names::kRequiredCaption, U("不可空:"), {8, 457, 80, 24}, -1},
      {names::kRequireContact, U("联系人"), {52, 462, 64, 16}, 0},
      {names::kRequireMobile, U("手机"), {112, 462, 52, 16}, 0},
      {names::kRequirePhone, U("电话"), {161, 462, 52, 16}, 0},
      {names::kRequireFax, U("传真"), {212, 462, 52, 16}, 0},
      {names::kRequireEmail, U("邮箱"), {261, 462, 52, 16}, 0},
      {names::kRequireQQ, "QQ", {312, 462, 52, 16}, 0},
      {names::kRequireAddress, U("地址"), {352, 462, 52, 16}, 0},
      {names::kConfirmDetails, U("信息采集确认"), {547, 462, 93, 16}, 0},
      {names::kExportPrompt, U("提示导出"), {641, 462, 71, 16}, 1},
      {names::kNumberSwap, U("号码识别交换"), {714, 462, 95, 16}, 1},
      {names::kStrongMobile, U("手机强过滤"), {809, 462, 80, 16}, 1},
      {names::kStatusBar, "<no text>", {0, 483, 892, 20}, -1},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    QWidget* widget = Find(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), c.place);
    EXPECT_EQ(TextOf(widget), c.text);
    EXPECT_TRUE(widget->isVisible());
    EXPECT_TRUE(widget->isEnabled());
    if (c.ticked >= 0) {
      EXPECT_EQ(qobject_cast<QCheckBox*>(widget)->checkState(),
                c.ticked ? Qt::Checked : Qt::Unchecked);
    }
  }
  for (const char* name : {names::kKeywordBox, names::kAreaBox, names::kFilterBox,
                           names::kThreadBox, names::kTimeoutBox}) {
    EXPECT_EQ(Box(name)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter) << name;
    EXPECT_TRUE(Box(name)->hasFrame()) << name;
  }
  EXPECT_EQ(Box(names::kTimeoutBox)->maxLength(), 3);

  EXPECT_EQ(window_->windowTitle(), U("Qorvex采集"));
  EXPECT_EQ(window_->size(), QSize(892, 503));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
  const Qt::WindowFlags flags = window_->windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_EQ(window_->findChild<QMenuBar*>(), nullptr);
  EXPECT_EQ(window_->palette().color(QPalette::Window), window_->palette().color(QPalette::Button));
  const QList<QSize> iconSizes = window_->windowIcon().availableSizes();
  for (int size : {16, 32, 64})
    EXPECT_TRUE(iconSizes.contains(QSize(size, size))) << size;

  QTimer* clock = window_->findChild<QTimer*>(U(names::kClock));
  ASSERT_NE(clock, nullptr);
  EXPECT_FALSE(clock->isActive());
}

TEST_F(WindowTest, StatusBarOpensWithTenPanels) {
  const struct {
    int width;
    const char* text;
  } panels[] = {{120, " 关键字:"},   {100, "过滤字:"}, {90, "地址:"},   {70, "共0页"},
                {80, "共0条"},       {80, "第0条"},    {70, "过滤0条"}, {100, "有效0条"},
                {80, "状态:未开始"}, {102, ""}};
  int left = 0;
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    auto* panel =
        Find<QLabel>((std::string(names::kStatusPanelPrefix) + std::to_string(i)).c_str());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), U(panels[i].text));
    EXPECT_EQ(panel->geometry(), QRect(left, 0, panels[i].width, 20));
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
    left += panels[i].width;
  }
  EXPECT_EQ(left, 892);
}

TEST_F(WindowTest, ListHasTenColumnsAndReportBehaviour) {
  const struct {
    const char* title;
    int width;
  } columns[] = {{"序", 55},    {"ID", 0},    {"公司名", 200}, {"联系人", 60}, {"手机", 100},
                 {"电话", 110}, {"传真", 70}, {"邮箱", 70},    {"QQ", 70},     {"地址", 120}};
  auto* list = Find<QTableView>(names::kList);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->model()->columnCount(), 10);
  QHeaderView* header = list->horizontalHeader();
  for (int c = 0; c < 10; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), U(columns[c].title));
    EXPECT_EQ(header->sectionSize(c), columns[c].width);
    EXPECT_FALSE(header->isSectionHidden(c));  // the ID column is there, only 0 wide
    EXPECT_EQ(header->sectionResizeMode(c), QHeaderView::Interactive);
  }
  EXPECT_TRUE(header->isVisible());
  EXPECT_FALSE(header->sectionsClickable());
  EXPECT_FALSE(list->isSortingEnabled());
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->model()->rowCount(), 0);
}

TEST_F(WindowTest, HiddenIdColumnCanBeDraggedOpen) {
  QHeaderView* header = Find<QTableView>(names::kList)->horizontalHeader();
  QWidget* bar = header->viewport();
  const int edge = header->sectionPosition(2);  // where columns 1 and 2 begin
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(edge + 1, 8));
  QMouseEvent drag(QEvent::MouseMove, QPointF(edge + 60, 8),
                   bar->mapToGlobal(QPointF(edge + 60, 8)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(bar, &drag);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(edge + 60, 8));
  EXPECT_GT(header->sectionSize(1), 0);
  EXPECT_EQ(header->sectionSize(0), 55);
}

TEST_F(WindowTest, ThreadBoxKeepsItsCountBetweenOneAndFifty) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {{"0", "1"},
               {"-3", "1"},
               {"", "1"},
               {"51", "50"},
               {"99", "50"},
               {"1", "1"},
               {"10", "10"},
               {"50", "50"},
               {"abc", "1"},
               {"7", "7"},
               {"0.99999999", "0.99999999"}};
  QLineEdit* box = Box(names::kThreadBox);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    box->setText(U(c.text));
    EXPECT_EQ(box->text(), U(c.expected));
    // What a run reads is the corrected box.
    EXPECT_EQ(window_->bridge().BoxText(EditBox::Threads), Text(c.expected));
  }
}

TEST_F(WindowTest, TimeoutBoxSetsTheFetchLimit) {
  // Every search here fails its first fetch; the fetch shows the limit it was given.
  ASSERT_TRUE(RunFailingSearch());
  EXPECT_EQ(fetcher_->LastTimeout(), 10);  // taken from the box at start

  const struct {
    const char* text;
    int seconds;
  } cases[] = {{"5", 5}, {"", 0}, {"-10", -10}, {"999", 999}, {"7x", 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Box(names::kTimeoutBox)->setText(U(c.text));
    ASSERT_TRUE(RunFailingSearch());
    EXPECT_EQ(fetcher_->LastTimeout(), c.seconds);
  }
}

TEST_F(WindowTest, TimeoutBoxTakesAtMostThreeCharacters) {
  QLineEdit* box = Box(names::kTimeoutBox);
  box->clear();
  QTest::keyClicks(box, "1234");
  EXPECT_EQ(box->text(), "123");
  box->setText("99999");
  EXPECT_EQ(box->text(), "999");
}

TEST_F(WindowTest, NumberBoxesTakeTypedDigitsAndMinusOnly) {
  QLineEdit* timeout = Box(names::kTimeoutBox);
  timeout->clear();
  QTest::keyClicks(timeout, "a1 -");
  EXPECT_EQ(timeout->text(), "1-");
  QTest::keyClick(timeout, Qt::Key_Backspace);
  EXPECT_EQ(timeout->text(), "1");
  Type(timeout, U("五,2"));
  EXPECT_EQ(timeout->text(), "12");

  // An input method's commit is typed text too.
  QInputMethodEvent commit;
  commit.setCommitString(U("三"));
  QApplication::sendEvent(timeout, &commit);
  EXPECT_EQ(timeout->text(), "12");

  QLineEdit* threads = Box(names::kThreadBox);
  threads->setText("1");
  threads->end(false);
  QTest::keyClicks(threads, "x5");
  EXPECT_EQ(threads->text(), "15");
  QTest::keyClick(threads, Qt::Key_Home);
  QTest::keyClick(threads, Qt::Key_Minus);  // "-15" is below 1: the rule writes "1"
  EXPECT_EQ(threads->text(), "1");

  // Other boxes take any text.
  QTest::keyClicks(Box(names::kKeywordBox), "ab-1");
  EXPECT_EQ(Box(names::kKeywordBox)->text(), "ab-1");
}

TEST_F(WindowTest, PasteIntoNumberBoxIsNotFiltered) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText("ab");
  if (clipboard->text() != "ab") GTEST_SKIP() << "no clipboard on this platform";
  QLineEdit* timeout = Box(names::kTimeoutBox);
  timeout->clear();
  QTest::keyClick(timeout, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(timeout->text(), "ab");
  clipboard->setText("12345");
  timeout->clear();
  timeout->paste();
  EXPECT_EQ(timeout->text(), "123");  // the length limit holds for pasted text
}

TEST_F(WindowTest, EscapeClosesFromEveryControl) {
  QSignalSpy closed(window_.get(), &MainWindow::closed);
  const char* controls[] = {
      names::kKeywordBox,         names::kAreaBox,        names::kFilterBox,
      names::kThreadBox,          names::kTimeoutBox,     names::kStartSearchButton,
      names::kStartDetailButton,  names::kStopButton,     names::kClearAllButton,
      names::kClearDetailsButton, names::kExportButton,   names::kList,
      names::kRequireContact,     names::kConfirmDetails, names::kStrongMobile};
  int expected = 0;
  for (const char* name : controls) {
    SCOPED_TRACE(name);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    QWidget* control = Find(name);
    control->setFocus();
    QTest::keyClick(control, Qt::Key_Escape);
    EXPECT_EQ(closed.count(), ++expected);
    EXPECT_FALSE(window_->isVisible());
  }
}

TEST_F(WindowTest, StopAtRestRefreshesTheBarAndCompactsTheTable) {
  ResultTable& table = window_->table();
  table.AppendCompany("qv1", "A");
  table.AppendCompany("   ", "blank");
  table.AppendCompany("qv3", "C");
  table.SetCell(2, 0, "7");
  ASSERT_TRUE(WaitForModelRows(3));
  window_->bridge().SetPanelText(3, "x");
  window_->bridge().SetPanelText(9, "y");
  Box(names::kKeywordBox)->setText("kw");

  Click(names::kStopButton);
  ASSERT_TRUE(
      WaitUntil([&]() { return Panel(3) == U("共0页") && window_->model().rowCount() == 2; }));
  EXPECT_EQ(Panel(0), U(" 关键字:"));  // the settings of the last search, not the box
  EXPECT_EQ(Panel(8), U("状态:未开始"));
  EXPECT_EQ(Panel(9), "y");
  EXPECT_EQ(Cell(0, 0), "1");
  EXPECT_EQ(Cell(1, 0), "2");
  EXPECT_EQ(Cell(1, 1), "qv3");
  EXPECT_EQ(Box(names::kKeywordBox)->text(), "kw");
  EXPECT_TRUE(Find(names::kStartSearchButton)->isEnabled());
  EXPECT_TRUE(Find(names::kStartDetailButton)->isEnabled());
  EXPECT_FALSE(window_->findChild<QTimer*>(U(names::kClock))->isActive());
  EXPECT_TRUE(dialogs_->Calls().empty());
}

TEST_F(WindowTest, ClearButtonsEmptyDetailsThenEverything) {
  ResultTable& table = window_->table();
  for (const char* key : {"qv1", "qv2"}) {
    table.AppendCompany(key, "name");
    for (int c = kColumnContact; c < kColumnCount; ++c)
      table.SetCell(table.RowCount() - 1, c, "v");
  }
  ASSERT_TRUE(WaitForModelRows(2));
  ASSERT_TRUE(WaitUntil([&]() { return Cell(1, kColumnAddress) == "v"; }));

  Click(names::kClearDetailsButton);
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(Cell(row, kColumnSeq), QString::number(row + 1));
    EXPECT_EQ(Cell(row, kColumnName), "name");
    for (int c = kColumnContact; c < kColumnCount; ++c)
      EXPECT_EQ(Cell(row, c), "") << c;
  }
  Click(names::kClearAllButton);
  EXPECT_EQ(window_->model().rowCount(), 0);
  EXPECT_EQ(table.RowCount(), 0);
}

TEST_F(WindowTest, DoubleClickOpensTheSelectedCompanyOnly) {
  window_->table().AppendCompany("qv12", "A");
  window_->table().AppendCompany("qv7qv", "B");
  ASSERT_TRUE(WaitForModelRows(2));
  auto* list = Find<QTableView>(names::kList);
  list->clearSelection();
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(100, 300));  // below the rows
  QTest::qWait(50);
  EXPECT_TRUE(openedUrls_.empty());

  const QPoint onSecondRow = list->visualRect(window_->model().index(1, 2)).center();
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onSecondRow);
  ASSERT_TRUE(WaitUntil([&]() { return !openedUrls_.empty(); }));
  QTest::qWait(50);
  ASSERT_EQ(openedUrls_.size(), 1u);
  EXPECT_EQ(openedUrls_[0], "http://127.0.0.1:1/contact7contact.html");
}

TEST_F(WindowTest, SelectionFollowsItsRowWhenRowsBeforeItGo) {
  ResultTable& table = window_->table();
  for (const char* key : {"a", "b", "c"})
    table.AppendCompany(key, key);
  ASSERT_TRUE(WaitForModelRows(3));
  Find<QTableView>(names::kList)->selectRow(2);
  table.DeleteRow(0);
  ASSERT_TRUE(WaitForModelRows(2));
  ASSERT_EQ(window_->bridge().SelectedRow(), 1);
  EXPECT_EQ(Cell(1, kColumnId), "c");
}

TEST_F(WindowTest, ListKeepsUpWithManyWritersAndCompactions) {
  ResultTable& table = window_->table();
  constexpr int kWriters = 50, kRowsEach = 40;
  std::atomic<int> running{kWriters + 1};
  std::vector<std::thread> threads;
  for (int t = 0; t < kWriters; ++t) {
    threads.emplace_back([&, t]() {
      for (int i = 0; i < kRowsEach; ++i) {
        const Text key = "k" + std::to_string(t) + "_" + std::to_string(i);
        const RowId id = table.AppendCompany(key, "name" + key);
        table.SetCellById(id, kColumnContact, "c" + key);
      }
      --running;
    });
  }
  // Blanks a few rows now and then and compacts them away, as detail collection and stops do.
  threads.emplace_back([&]() {
    for (int round = 0; round < 20; ++round) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const int rows = table.RowCount();
      if (rows > 0) table.BlankRowById(table.IdAt(rows / 2));
      table.CompactTable();
    }
    --running;
  });
  const bool settled = WaitUntil(
      [&]() { return running.load() == 0 && window_->model().rowCount() == table.RowCount(); });
  for (auto& thread : threads)
    thread.join();
  ASSERT_TRUE(settled);
  window_->model().Sync();

  const std::vector<RowCells> rows = table.Snapshot();
  ASSERT_EQ(window_->model().rowCount(), static_cast<int>(rows.size()));
  EXPECT_GE(rows.size(), static_cast<size_t>(kWriters * kRowsEach - 20));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (int c : {kColumnSeq, kColumnId, kColumnName, kColumnContact}) {
      ASSERT_EQ(Cell(static_cast<int>(r), c), ToQString(rows[r][static_cast<size_t>(c)]))
          << "row " << r << " column " << c;
    }
  }
}

TEST_F(WindowTest, WorkersReachTheWindowOnlyThroughTheGuiThread) {
  WindowBridge& bridge = window_->bridge();
  QTimer* clock = window_->findChild<QTimer*>(U(names::kClock));
  auto onWorker = [](const std::function<void()>& work) { std::thread(work).join(); };

  onWorker([&]() { bridge.SetStartButtonsEnabled(false); });
  ASSERT_TRUE(WaitUntil([&]() { return !Find(names::kStartSearchButton)->isEnabled(); }));
  EXPECT_FALSE(Find(names::kStartDetailButton)->isEnabled());
  for (const char* always : {names::kStopButton, names::kClearAllButton, names::kClearDetailsButton,
                             names::kExportButton}) {
    EXPECT_TRUE(Find(always)->isEnabled()) << always;
  }
  onWorker([&]() { bridge.SetStartButtonsEnabled(true); });
  ASSERT_TRUE(WaitUntil([&]() { return Find(names::kStartSearchButton)->isEnabled(); }));

  onWorker([&]() { bridge.SetTimerPeriod(10); });
  EXPECT_EQ(bridge.TimerPeriod(), 10);  // seen at once by the next worker
  ASSERT_TRUE(WaitUntil([&]() { return clock->isActive() && Panel(9).endsWith(U("秒")); }));
  EXPECT_EQ(clock->interval(), 10);
  onWorker([&]() { bridge.SetTimerPeriod(0); });
  ASSERT_TRUE(WaitUntil([&]() { return !clock->isActive(); }));
  const QString frozen = Panel(9);
  QTest::qWait(50);
  EXPECT_EQ(Panel(9), frozen);

  // Many writers, and the last write wins.
  std::vector<std::thread> writers;
  for (int t = 0; t < 50; ++t) {
    writers.emplace_back([&bridge, t]() {
      for (int i = 0; i < 200; ++i)
        bridge.SetPanelText(i % 9, "w" + std::to_string(t));
    });
  }
  for (auto& writer : writers)
    writer.join();
  onWorker([&]() {
    for (int panel = 0; panel < 9; ++panel)
      bridge.SetPanelText(panel, "last");
    bridge.SetPanelText(-1, "never");
    bridge.SetPanelText(10, "never");
  });
  ASSERT_TRUE(WaitUntil([&]() {
    for (int panel = 0; panel < 9; ++panel) {
      if (Panel(panel) != "last") return false;
    }
    return true;
  }));
  EXPECT_EQ(Panel(9), frozen);

  Type(Box(names::kKeywordBox), U("手机"));
  Find<QCheckBox>(names::kRequireQQ)->click();
  Find<QCheckBox>(names::kStrongMobile)->click();
  onWorker([&]() {
    EXPECT_EQ(bridge.BoxText(EditBox::Keyword), "\xCA\xD6\xBB\xFA");  // 手机
    EXPECT_EQ(bridge.BoxText(EditBox::Threads), "10");
    EXPECT_TRUE(bridge.IsTicked(CheckBox::RequireQQ));
    EXPECT_FALSE(bridge.IsTicked(CheckBox::StrongMobile));
    EXPECT_TRUE(bridge.IsTicked(CheckBox::ExportPrompt));
    EXPECT_FALSE(bridge.IsTicked(CheckBox::ConfirmDetails));
  });
}

TEST_F(WindowTest, ExportButtonWritesTheFileOrSaysWhyNot) {
  window_->table().AppendCompany("qv1", "A");
  window_->table().AppendCompany("qv2", "B");
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());

  dialogs_->SetSavePath(folder.filePath("missing/out.csv"));
  Click(names::kExportButton);
  auto calls = dialogs_->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].kind, "save");
  EXPECT_EQ(calls[0].text, "--.csv");
  EXPECT_TRUE(calls[0].onGuiThread);
  EXPECT_EQ(calls[1].kind, "failure");
  EXPECT_FALSE(calls[1].text.isEmpty());

  const QString path = folder.filePath("out.csv");
  dialogs_->SetSavePath(path);
  Click(names::kExportButton);
  EXPECT_EQ(dialogs_->Calls().size(), 3u);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(lines.size(), 4);  // three lines and nothing after the last break
  EXPECT_EQ(ToQString(lines[0].toStdString()),
            U("序,ID,公司名,联系人,手机,电话,传真,邮箱,QQ,地址\r"));
  EXPECT_TRUE(lines[2].startsWith("2,qv2,B,"));
}

// Whole runs against the sample site on a port of its own.
class SampleSiteRunTest : public WindowTest {
 protected:
  void SetUp() override {
    SampleSiteOptions options;
    options.port = 0;
    options.companies = 150;
    site_ = std::make_unique<SampleSite>(options);
    ASSERT_TRUE(site_->Start());
    const std::string base = site_->BaseUrl();
    SiteConfig config;
    config.searchUrlPrefix = Utf8ToAnsi(base + "scom?kw=");
    config.companyPageBase = Utf8ToAnsi(base);
    config.companyLinkMarker = "127.0.0.1:" + std::to_string(site_->Port()) + "/";
    Open(config, {});
  }
  void TearDown() override {
    window_.reset();
    site_.reset();
  }
  std::unique_ptr<SampleSite> site_;
};

TEST_F(SampleSiteRunTest, SearchChainsIntoDetailsAndExport) {
  const auto matches = site_->Search("手机", "");
  ASSERT_GT(matches.size(), 20u);
  const int pages = static_cast<int>((matches.size() + 19) / 20);
  QTemporaryDir folder;
  const QString path = folder.filePath("result.csv");
  dialogs_->SetSavePath(path);

  Type(Box(names::kKeywordBox), U("手机"));
  Find<QCheckBox>(names::kConfirmDetails)->click();
  Click(names::kStartSearchButton);
  EXPECT_FALSE(Find(names::kStartSearchButton)->isEnabled());
  ASSERT_TRUE(WaitUntil([&]() { return QFile::exists(path); }, 20000));
  ASSERT_TRUE(window_->engine().WaitForQuiet(std::chrono::seconds(10)));
  ASSERT_TRUE(WaitUntil([&]() {
    return window_->model().rowCount() == window_->table().RowCount() &&
           Find(names::kStartSearchButton)->isEnabled() && Panel(8) == U("状态:未开始");
  }));

  const auto calls = dialogs_->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].kind, "question");
  EXPECT_EQ(calls[0].text, U("采集公司已完成\r\n是否开始采集信息"));
  EXPECT_EQ(calls[0].title, U("完成"));
  EXPECT_EQ(calls[0].owner, Owner::MainWindow);
  EXPECT_EQ(calls[1].kind, "question");
  EXPECT_EQ(calls[1].text, U("采集信息已完成\r\n是否导出"));
  EXPECT_EQ(calls[1].owner, Owner::None);
  EXPECT_FALSE(calls[1].onGuiThread);
  EXPECT_EQ(calls[2].kind, "save");
  EXPECT_EQ(calls[2].text, U("手机--.csv"));
  EXPECT_EQ(calls[2].title, QString::fromUtf8(DesktopFolder()));

  const int rows = window_->model().rowCount();
  const CounterValues counters = window_->engine().Counters();
  EXPECT_EQ(counters.totalCount, static_cast<int>(matches.size()));
  EXPECT_EQ(counters.validCount + counters.filteredCount, counters.totalCount);
  EXPECT_EQ(rows, counters.validCount);
  EXPECT_GT(rows, 0);
  EXPECT_EQ(Panel(0), U(" 关键字:手机"));
  EXPECT_EQ(Panel(3), U("共%1页").arg(pages));
  EXPECT_EQ(Panel(5), U("第%1条").arg(matches.size()));
  EXPECT_EQ(Panel(7), U("有效%1条").arg(rows));
  EXPECT_TRUE(Panel(9).endsWith(U("秒")));
  EXPECT_FALSE(window_->findChild<QTimer*>(U(names::kClock))->isActive());

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray csv = file.readAll();
  EXPECT_EQ(csv.count("\r\n"), rows + 1);
  for (int r = 0; r < rows; ++r) {
    EXPECT_TRUE(csv.contains(QByteArray::fromStdString(ToAnsi(Cell(r, kColumnName))))) << r;
  }
  int filledCells = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = kColumnContact; c < kColumnCount; ++c)
      filledCells += Cell(r, c).isEmpty() ? 0 : 1;
  }
  EXPECT_GT(filledCells, rows);  // the contact pages reached the list
}

TEST_F(SampleSiteRunTest, SearchWithoutResultsSaysSoAndRests) {
  QTest::keyClicks(Box(names::kKeywordBox), "zzqqxx");
  Click(names::kStartSearchButton);
  ASSERT_TRUE(WaitUntil([&]() { return !dialogs_->Calls().empty(); }));
  ASSERT_TRUE(window_->engine().WaitForQuiet(std::chrono::seconds(10)));
  const auto calls = dialogs_->Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, "message");
  EXPECT_EQ(calls[0].text, U("没有采集结果"));
  EXPECT_EQ(calls[0].title, U("结果"));
  ASSERT_TRUE(WaitUntil([&]() { return Find(names::kStartSearchButton)->isEnabled(); }));
  EXPECT_EQ(window_->model().rowCount(), 0);
  EXPECT_EQ(Panel(8), U("状态:未开始"));
}

// The real dialogs, answered by clicking their buttons.
class RealDialogsTest : public WindowTest {
 protected:
  template <typename T>
  static T* FindTopLevel(const QString& objectName = {}) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* found = qobject_cast<T*>(widget);
      if (found != nullptr && found->isVisible() &&
          (objectName.isEmpty() || found->objectName() == objectName)) {
        return found;
      }
    }
    return nullptr;
  }
};

TEST_F(RealDialogsTest, QuestionWithoutOwnerLeavesTheWindowUsable) {
  QtDialogs dialogs(window_.get());
  std::atomic<int> answer{-1};
  std::thread worker([&]() {
    answer = dialogs.AskYesNo(U("采集信息已完成\r\n是否导出"), U("完成"), Owner::None) ? 1 : 0;
  });
  QMessageBox* box = nullptr;
  const bool shown = WaitUntil([&]() { return (box = FindTopLevel<QMessageBox>()) != nullptr; });
  if (!shown) {
    worker.detach();
    FAIL() << "no question shown";
  }
  EXPECT_EQ(box->parentWidget(), nullptr);
  EXPECT_EQ(box->windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(box->text(), U("采集信息已完成\n是否导出"));
  EXPECT_EQ(box->windowTitle(), U("完成"));
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(answer.load(), -1);
  box->button(QMessageBox::Yes)->click();
  EXPECT_TRUE(WaitUntil([&]() { return answer.load() != -1; }));
  worker.join();
  EXPECT_EQ(answer.load(), 1);
}

TEST_F(RealDialogsTest, QuestionOwnedByTheWindowIsModalToIt) {
  QtDialogs dialogs(window_.get());
  QWidget* parent = nullptr;
  Qt::WindowModality modality = Qt::NonModal;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&]() {
    auto* box = window_->findChild<QMessageBox*>();
    if (box == nullptr || !box->isVisible()) return;
    parent = box->parentWidget();
    modality = box->windowModality();
    box->button(QMessageBox::No)->click();
  });
  answerer.start(20);
  std::atomic<int> answer{-1};
  std::thread worker([&]() {
    answer = dialogs.AskYesNo(U("采集公司已完成\r\n是否开始采集信息"), U("完成"), Owner::MainWindow)
                 ? 1
                 : 0;
  });
  const bool answered = WaitUntil([&]() { return answer.load() != -1; });
  if (!answered) worker.detach();
  ASSERT_TRUE(answered);
  worker.join();
  EXPECT_EQ(answer.load(), 0);
  EXPECT_EQ(parent, window_.get());
  EXPECT_EQ(modality, Qt::WindowModal);
}

TEST_F(RealDialogsTest, SaveDialogFromAWorkerHasNoOwner) {
  QTemporaryDir folder;
  QtDialogs dialogs(window_.get());
  for (const bool accept : {false, true}) {
    SCOPED_TRACE(accept);
    std::optional<std::optional<QString>> result;
    std::mutex mutex;
    std::thread worker([&]() {
      auto path = dialogs.AskSavePath(U("abc-def-.csv"), folder.path());
      std::lock_guard lock(mutex);
      result = path;
    });
    QFileDialog* dialog = nullptr;
    const bool shown = WaitUntil(
        [&]() { return (dialog = FindTopLevel<QFileDialog>(U(names::kSaveDialog))) != nullptr; });
    if (!shown) {
      worker.detach();
      FAIL() << "no save dialog shown";
    }
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(dialog->windowTitle(), U("保存采集"));
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    ASSERT_EQ(dialog->nameFilters().size(), 1);
    EXPECT_TRUE(dialog->nameFilters()[0].startsWith(U("文本文件（*.csv）")));
    EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    ASSERT_FALSE(dialog->selectedFiles().isEmpty());
    EXPECT_EQ(dialog->selectedFiles()[0], QDir(folder.path()).filePath(U("abc-def-.csv")));
    const QString chosen = QDir(folder.path()).filePath("result");
    if (accept) {
      // Typed into the name box, as a user would (selectFile leaves a focused box alone).
      auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(nameBox, nullptr);
      nameBox->setText("result");
      static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    } else {
      dialog->reject();
    }
    const bool done = WaitUntil([&]() {
      std::lock_guard lock(mutex);
      return result.has_value();
    });
    if (!done) worker.detach();
    ASSERT_TRUE(done);
    worker.join();
    if (accept) {
      ASSERT_TRUE(result->has_value());
      EXPECT_EQ(**result, chosen);  // no suffix added
    } else {
      EXPECT_FALSE(result->has_value());
    }
  }
}

TEST(CommandLineTest, SiteOptionsAndDefaults) {
  const CommandLine defaults = ParseCommandLine({"qorvex"});
  ASSERT_TRUE(defaults.ok);
  EXPECT_EQ(defaults.site.searchUrlPrefix, SiteConfig{}.searchUrlPrefix);
  EXPECT_TRUE(defaults.demoKeyword.isEmpty());

  const CommandLine given = ParseCommandLine(
      {"qorvex", "--search-url", "http://dir.example:81/scom?kw=", "--company-base",
       "http://co.example/", "--link-marker", "co.example/", "--demo-search", U("手机")});
  ASSERT_TRUE(given.ok);
  EXPECT_EQ(given.site.searchUrlPrefix, "http://dir.example:81/scom?kw=");
  EXPECT_EQ(given.site.companyPageBase, "http://co.example/");
  EXPECT_EQ(given.site.companyLinkMarker, "co.example/");
  EXPECT_EQ(given.demoKeyword, U("手机"));

  for (const QStringList& bad :
       {QStringList{"qorvex", "--nope"}, QStringList{"qorvex", "--search-url"},
        QStringList{"qorvex", "stray"}, QStringList{"qorvex", "--after-ms", "soon"}}) {
    EXPECT_FALSE(ParseCommandLine(bad).ok) << bad.join(' ').toStdString();
  }
}

}  // namespace
}  // namespace qorvex

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qorvex::FetchGlobalInit();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
