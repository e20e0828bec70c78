#include "view/gui/TQkVornSelect.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTreeWidget>
#include <algorithm>

#include "base/gui/WindowLayout.h"
#include "base/gui/WindowPlacement.h"
#include "results/Collections.h"
#include "view/gui/TQkVornChart.h"

namespace vorn {

namespace {

// The process's current directory: every source is searched there.
constexpr const char* kFolder = ".";
constexpr int kColumnWidths[kColumnCount] = {150, 110, 60, 75, 60, 75, 125};
// The widest text each column must show whole; the widths above were drawn for a
// smaller font than most desktops use today. Empty: the column's width as drawn.
constexpr const char* kWidestCells[kColumnCount] = {
    "", "", "Laptop slot", "1000.0MB", "000.0 MB/s", "000.0 MB/s", "0000-00-00 00:00"};
// Room a cell leaves on both sides of its text.
constexpr int kCellMargins = 16;
constexpr int kReaderColumn = 1;
constexpr int kMinimumColumnWidth = 50;

// The sort lists' items after their dashes item, and the level each one sets.
constexpr const char* kSortCaptions[] = {"Manufacturer/Model", "Reader",    "Capacity",
                                         "Max Read",           "Max Write", "Test Date/Time",
                                         "Interface"};
constexpr SortKey kSortKeys[] = {SortKey::None,     SortKey::Name,     SortKey::Reader,
                                 SortKey::Capacity, SortKey::MaxRead,  SortKey::MaxWrite,
                                 SortKey::TestTime, SortKey::Interface};

SortKey sortKeyOf(const QComboBox* list) {
    const int item = list->currentIndex();
    return item >= 0 && item < static_cast<int>(std::size(kSortKeys)) ? kSortKeys[item]
                                                                      : SortKey::None;
}

QComboBox* newSortList(const char* name, const char* dashes, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->addItem(dashes);
    for (const char* caption : kSortCaptions) {
        list->addItem(caption);
    }
    return list;
}

QLabel* newLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QPushButton* newButton(const char* name, const char* text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

TQkVornSelect::TQkVornSelect(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TQkVornSelect");
    setWindowTitle("QK Vorn - Benchmark Data Selection");
    setModal(true);
    fixClientSize(this, layout::kSelect);
    createControls();
    placeControls();
    connectControls();
    centreOnScreen(this);
}

TQkVornSelect::~TQkVornSelect() = default;

void TQkVornSelect::createControls() {
    Label1 = newLabel("Label1", "Data Source", this);
    Label2 = newLabel("Label2", "Sort by", this);
    Label3 = newLabel("Label3", "then", this);
    createList();
    cbSource = new QComboBox(this);
    cbSource->setObjectName("cbSource");
    for (const char* caption : kSourceCaptions) {
        cbSource->addItem(caption);
    }
    cbSource->setCurrentIndex(0);
    cbSort = newSortList("cbSort", "------", this);
    cbSort->setCurrentIndex(1);
    btSelect = newButton("btSelect", "&Select", this);
    btCancel = newButton("btCancel", "&Cancel", this);
    memInfo = new QPlainTextEdit(this);
    memInfo->setObjectName("memInfo");
    memInfo->setReadOnly(true);
    memInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cbSort2 = newSortList("cbSort2", "-------", this);
    cbSort2->setCurrentIndex(0);
    chainTabOrder(this, layout::kSelect);
}

void TQkVornSelect::createList() {
    lvData = new QTreeWidget(this);
    lvData->setObjectName("lvData");
    lvData->setRootIsDecorated(false);
    lvData->setItemsExpandable(false);
    lvData->setUniformRowHeights(true);
    lvData->setSelectionMode(QAbstractItemView::SingleSelection);
    lvData->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Names of one maker or of sample images differ at their ends.
    lvData->setTextElideMode(Qt::ElideMiddle);
    lvData->setColumnCount(kColumnCount);
    QStringList captions;
    for (const char* caption : kColumnCaptions) {
        captions << caption;
    }
    lvData->setHeaderLabels(captions);
    QHeaderView* header = lvData->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    // Only "Reader" may be narrowed below the common minimum; the header knows one
    // minimum for all columns, so the others are held at theirs when resized.
    header->setMinimumSectionSize(1);
    for (int column = 0; column < kColumnCount; ++column) {
        const int caption = header->fontMetrics().horizontalAdvance(kColumnCaptions[column]);
        const int cell = lvData->fontMetrics().horizontalAdvance(kWidestCells[column]);
        header->resizeSection(
            column, std::max(kColumnWidths[column], std::max(caption, cell) + kCellMargins));
    }
}

void TQkVornSelect::placeControls() {
    Label1->setGeometry(12, 15, 76, 20);
    cbSource->setGeometry(92, 12, 200, 26);
    Label2->setGeometry(12, 49, 76, 20);
    cbSort->setGeometry(92, 46, 200, 26);
    Label3->setGeometry(304, 49, 36, 20);
    cbSort2->setGeometry(344, 46, 200, 26);
    lvData->setGeometry(12, 82, 589, 292);
    memInfo->setGeometry(12, 384, 589, 132);
    btSelect->setGeometry(416, 526, 88, 30);
    btCancel->setGeometry(513, 526, 88, 30);
}

void TQkVornSelect::connectControls() {
    connect(cbSource, &QComboBox::currentIndexChanged, this, &TQkVornSelect::cbSourceChange);
    connect(cbSort, &QComboBox::currentIndexChanged, this, &TQkVornSelect::cbSortChange);
    connect(cbSort2, &QComboBox::currentIndexChanged, this, &TQkVornSelect::cbSortChange);
    connect(lvData, &QTreeWidget::itemSelectionChanged, this, &TQkVornSelect::lvDataSelectItem);
    connect(lvData, &QTreeWidget::itemDoubleClicked, this, &TQkVornSelect::btSelectClick);
    connect(btSelect, &QPushButton::clicked, this, &TQkVornSelect::btSelectClick);
    connect(btCancel, &QPushButton::clicked, this, &TQkVornSelect::btCancelClick);
    connect(lvData->header(), &QHeaderView::sectionResized, this, &TQkVornSelect::keepMinimumWidth);
    memInfo->installEventFilter(this);
}

void TQkVornSelect::keepMinimumWidth(int column, int, int newWidth) {
    if (column != kReaderColumn && newWidth < kMinimumColumnWidth) {
        lvData->header()->resizeSection(column, kMinimumColumnWidth);
    }
}

bool TQkVornSelect::rowValid() const {
    return selectedRow_ >= 0 && selectedRow_ < static_cast<int>(entries_.size());
}

void TQkVornSelect::loadEntries() {
    entries_.clear();
    order_.clear();
    selectedRow_ = -1;
    const int source = cbSource->currentIndex();
    if (source >= 0 && source < kSourceCount) {
        entries_ = vorn::loadEntries(kFolder, kSourcePatterns[source]);
    }
    sortEntries();
    fillList();
}

void TQkVornSelect::sortEntries() {
    SortLevels levels{};
    levels.fill(SortKey::None);
    levels[0] = sortKeyOf(cbSort);
    levels[1] = sortKeyOf(cbSort2);
    order_ = vorn::sortEntries(entries_, levels);
}

void TQkVornSelect::fillList() {
    lvData->hide();
    {
        // Filling is no choice of the user; the first row is highlighted once, below.
        const QSignalBlocker quiet(lvData);
        lvData->clear();
        QList<QTreeWidgetItem*> rows;
        rows.reserve(static_cast<qsizetype>(order_.size()));
        for (uint32_t index : order_) {
            const RowCells cells = rowCells(entries_[index]);
            auto* row = new QTreeWidgetItem;
            for (int column = 0; column < kColumnCount; ++column) {
                row->setText(column, QString::fromStdString(cells[column]));
            }
            rows.append(row);
        }
        lvData->addTopLevelItems(rows);
        if (!rows.isEmpty()) {
            lvData->setCurrentItem(rows.front());
        }
    }
    lvDataSelectItem();
    lvData->show();
}

void TQkVornSelect::lvDataSelectItem() {
    const QList<QTreeWidgetItem*> chosen = lvData->selectedItems();
    selectedRow_ = chosen.isEmpty() ? -1 : lvData->indexOfTopLevelItem(chosen.front());
    showInfo();
}

void TQkVornSelect::showInfo() {
    memInfo->clear();
    if (!rowValid()) {
        return;
    }
    std::string text = entryInfoText(kFolder, entries_[order_[selectedRow_]]);
    // Every line ends in a line break; the box shows no empty line after the last.
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    memInfo->setPlainText(QString::fromStdString(text));
    memInfo->moveCursor(QTextCursor::Start);
    memInfo->ensureCursorVisible();
}

void TQkVornSelect::btSelectClick() {
    if (rowValid()) {
        accept();
    }
}

void TQkVornSelect::btCancelClick() {
    selectedRow_ = -1;
    QDialog::reject();
}

void TQkVornSelect::reject() {
    btCancelClick();
}

void TQkVornSelect::cbSourceChange() {
    loadEntries();
}

void TQkVornSelect::cbSortChange() {
    sortEntries();
    fillList();
}

void TQkVornSelect::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        loadEntries();
    }
}

// The details box never keeps the focus: it goes on to the list.
bool TQkVornSelect::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memInfo && event->type() == QEvent::FocusIn) {
        lvData->setFocus();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

std::unique_ptr<I_VornCollection> TQkVornSelect::takeSelection() {
    if (!rowValid()) {
        return nullptr;
    }
    const BenchmarkEntry& entry = entries_[order_[selectedRow_]];
    std::unique_ptr<I_VornCollection> result =
        openCollection(entryPath(kFolder, entry.fileName).c_str());
    if (!result || !result->selectMember(entry.indexInFile)) {
        return nullptr;
    }
    return result;
}

void compareAnotherDrive(TQkVornSelect& select, TQkVornChart& chart) {
    select.exec();
    std::unique_ptr<I_VornCollection> chosen = select.takeSelection();
    chart.keepFirstResultOnly();
    if (chosen) {
        chart.addResult(std::move(chosen));
    }
}

}  // namespace vorn
