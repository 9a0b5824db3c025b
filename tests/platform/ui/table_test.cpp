#include <gtest/gtest.h>

#include "platform/ui/table_view.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

class Rows : public TableViewDataSource, public TableViewDelegate {
 public:
  int rows = 30;
  int created = 0;
  std::vector<IndexPath> selected;
  std::optional<double> tallRowHeight;

  int numberOfRowsInSection(TableView&, int) override { return rows; }
  TableViewCellPtr cellForRowAtIndexPath(TableView& table, const IndexPath& p) override {
    auto cell = table.dequeueReusableCellWithIdentifier("row");
    if (!cell) {
      cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, "row");
      ++created;
    }
    cell->textLabel().setText("Row " + std::to_string(p.row));
    return cell;
  }
  std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath& p) override {
    if (tallRowHeight && p.row == 0) return tallRowHeight;
    return std::nullopt;
  }
  bool didSelectRowAtIndexPath(TableView&, const IndexPath& p) override {
    selected.push_back(p);
    return true;
  }
};

class TableTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    table = std::make_shared<TableView>(Rect{0, 20, 320, 440}, TableViewStyle::Plain);
    table->setDataSource(&rows);
    table->setTableDelegate(&rows);
    window->addSubview(table);
    window->layoutIfNeeded();
  }
  Rows rows;
  std::shared_ptr<TableView> table;
};

TEST_F(TableTest, ShowsOnlyTheRowsInSightAndSizesTheContent) {
  EXPECT_EQ(table->contentSize().height, 30 * 44);
  EXPECT_EQ(table->visibleCells().size(), 10u);  // 440 / 44
  auto cell = table->cellForRowAtIndexPath({0, 3});
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->frame(), (Rect{0, 132, 320, 44}));
  EXPECT_EQ(cell->textLabel().text(), "Row 3");
}

TEST_F(TableTest, ScrollingReusesCells) {
  int before = rows.created;
  for (double y = 0; y <= 800; y += 22) table->setContentOffset({0, y});
  EXPECT_LE(rows.created, before + 2);
  auto paths = table->indexPathsForVisibleRows();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front().row, 800 / 44);
  EXPECT_EQ(table->cellForRowAtIndexPath(paths.front())->textLabel().text(),
            "Row " + std::to_string(800 / 44));
}

TEST_F(TableTest, TapSelectsTheRowUnderTheFinger) {
  tap({100, 20 + 44 * 2 + 10});
  ASSERT_EQ(rows.selected.size(), 1u);
  EXPECT_EQ(rows.selected[0], (IndexPath{0, 2}));
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 2}));
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 2})->isSelected());
  table->deselectRowAtIndexPath({0, 2}, true);
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 2})->isSelected());
  EXPECT_FALSE(table->indexPathForSelectedRow().has_value());
}

TEST_F(TableTest, HeldRowHighlightsItsLabelsAndADragDoesNotSelect) {
  auto cell = table->cellForRowAtIndexPath({0, 1});
  ASSERT_TRUE(cell);
  cell->textLabel().setHighlightedTextColor(Color::rgb255(222, 18, 104));
  window->touchDown({100, 20 + 44 + 10});
  advance(0.2);
  EXPECT_TRUE(cell->isHighlighted());
  EXPECT_TRUE(cell->textLabel().isHighlighted());
  ASSERT_TRUE(cell->textLabel().layer().textContent());
  EXPECT_EQ(cell->textLabel().layer().textContent()->color, Color::rgb255(222, 18, 104));
  for (int i = 1; i <= 8; ++i) {
    advance(0.016);
    window->touchMove({100, 20 + 44 + 10 - 8.0 * i});
  }
  EXPECT_FALSE(cell->isHighlighted());
  window->touchUp({100, 0});
  EXPECT_TRUE(rows.selected.empty());
}

TEST_F(TableTest, RowHeightsFromTheDelegateAndReload) {
  rows.tallRowHeight = 100;
  rows.rows = 3;
  table->reloadData();
  EXPECT_EQ(table->contentSize().height, 100 + 44 * 2);
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 1}), (Rect{0, 100, 320, 44}));
  EXPECT_EQ(table->visibleCells().size(), 3u);
  EXPECT_EQ(table->indexPathForRowAtPoint({10, 150}), (IndexPath{0, 2}));
  EXPECT_FALSE(table->indexPathForRowAtPoint({10, 500}).has_value());
  rows.rows = 0;
  table->reloadData();
  EXPECT_TRUE(table->visibleCells().empty());
  EXPECT_EQ(table->contentSize().height, 0);
}

TEST_F(TableTest, SelectedBackgroundViewShowsWhileSelected) {
  auto cell = table->cellForRowAtIndexPath({0, 0});
  auto background = std::make_shared<View>();
  auto selectedBackground = std::make_shared<View>();
  cell->setBackgroundView(background);
  cell->setSelectedBackgroundView(selectedBackground);
  EXPECT_EQ(selectedBackground->superview(), nullptr);
  cell->setSelected(true, false);
  EXPECT_EQ(selectedBackground->superview(), cell.get());
  // Behind the content, above the plain background.
  auto& subs = cell->subviews();
  auto pos = [&](const View* v) {
    return std::find_if(subs.begin(), subs.end(), [&](auto& s) { return s.get() == v; }) -
           subs.begin();
  };
  EXPECT_LT(pos(background.get()), pos(selectedBackground.get()));
  EXPECT_LT(pos(selectedBackground.get()), pos(&cell->contentView()));
  cell->setSelected(false, false);
  EXPECT_EQ(selectedBackground->superview(), nullptr);
}

TEST_F(TableTest, GroupedSectionsHaveHeaders) {
  class Sections : public Rows {
   public:
    std::optional<int> numberOfSectionsInTableView(TableView&) override { return 2; }
    std::optional<double> heightForHeaderInSection(TableView&, int s) override {
      return s == 0 ? 30.0 : 10.0;
    }
  } sections;
  sections.rows = 2;
  auto grouped = std::make_shared<TableView>(Rect{0, 0, 320, 400}, TableViewStyle::Grouped);
  grouped->setDataSource(&sections);
  grouped->setTableDelegate(&sections);
  grouped->reloadData();
  EXPECT_EQ(grouped->numberOfSections(), 2);
  EXPECT_EQ(grouped->rectForHeaderInSection(1), (Rect{0, 30 + 88, 320, 10}));
  EXPECT_EQ(grouped->rectForRowAtIndexPath({1, 0}).y(), 30 + 88 + 10);
}

TEST_F(TableTest, GroupsAskingForNoHeaderStillGetTheStandardGap) {
  class NoHeaders : public Rows {
   public:
    std::optional<int> numberOfSectionsInTableView(TableView&) override { return 2; }
    std::optional<double> heightForHeaderInSection(TableView&, int) override { return 0.0; }
  } sections;
  sections.rows = 2;
  auto grouped = std::make_shared<TableView>(Rect{0, 0, 320, 400}, TableViewStyle::Grouped);
  grouped->setDataSource(&sections);
  grouped->setTableDelegate(&sections);
  grouped->reloadData();
  EXPECT_EQ(grouped->rectForHeaderInSection(0), (Rect{0, 0, 320, 10}));
  EXPECT_EQ(grouped->rectForRowAtIndexPath({0, 0}).y(), 10);
  EXPECT_EQ(grouped->rectForHeaderInSection(1), (Rect{0, 10 + 88, 320, 10}));
  EXPECT_EQ(grouped->rectForRowAtIndexPath({1, 0}).y(), 10 + 88 + 10);
  // A plain table takes the same answer as it is: the sections run on.
  auto plain = std::make_shared<TableView>(Rect{0, 0, 320, 400}, TableViewStyle::Plain);
  plain->setDataSource(&sections);
  plain->setTableDelegate(&sections);
  plain->reloadData();
  EXPECT_EQ(plain->rectForRowAtIndexPath({0, 0}).y(), 0);
  EXPECT_EQ(plain->rectForRowAtIndexPath({1, 0}).y(), 88);
}

}  // namespace
}  // namespace lorvane
