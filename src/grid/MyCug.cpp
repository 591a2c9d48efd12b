#include "grid/MyCug.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

namespace orv {

CCugModel::CCugModel(QObject* parent) : QAbstractTableModel(parent) {}

int CCugModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int CCugModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_cols;
}

QVariant CCugModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const int col = index.column();
    const int row = index.row();
    switch (role) {
        case Qt::DisplayRole:
            return Text(col, row);
        case Qt::BackgroundRole:
            return BackColor(col, row);
        case Qt::ForegroundRole:
            return TextColor(col, row);
        case Qt::FontRole:
            return CellFont(col, row);
        case Qt::TextAlignmentRole: {
            const auto it = m_cells.constFind(Key(col, row));
            return int(it == m_cells.cend() ? Qt::AlignCenter : it->alignment);
        }
        default:
            return {};
    }
}

QVariant CCugModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return Text(section, -1);
    if (role == Qt::FontRole)
        return CellFont(section, -1);
    return {};
}

Qt::ItemFlags CCugModel::flags(const QModelIndex& index) const {
    // Cells are shown, never edited in place.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void CCugModel::SetSize(int cols, int rows) {
    beginResetModel();
    m_cols = qMax(0, cols);
    m_rows = qMax(0, rows);
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        const int row = int(it.key() >> 32) - 1;
        const int col = int(it.key() & 0xffffffffu);
        if (!InRange(col, row))
            it = m_cells.erase(it);
        else
            ++it;
    }
    endResetModel();
}

void CCugModel::Changed(int col, int row) {
    if (row < 0)
        emit headerDataChanged(Qt::Horizontal, col, col);
    else
        emit dataChanged(index(row, col), index(row, col));
}

void CCugModel::SetText(int col, int row, const QString& text) {
    if (!InRange(col, row))
        return;
    m_cells[Key(col, row)].text = text;
    Changed(col, row);
}

QString CCugModel::Text(int col, int row) const {
    const auto it = m_cells.constFind(Key(col, row));
    return InRange(col, row) && it != m_cells.cend() ? it->text : QString();
}

void CCugModel::SetTextColor(int col, int row, const QColor& color) {
    if (!InRange(col, row))
        return;
    m_cells[Key(col, row)].textColor = color;
    Changed(col, row);
}

void CCugModel::SetBackColor(int col, int row, const QColor& color) {
    if (!InRange(col, row))
        return;
    m_cells[Key(col, row)].backColor = color;
    Changed(col, row);
}

void CCugModel::SetCellFont(int col, int row, const QFont& font) {
    if (!InRange(col, row))
        return;
    Cell& cell = m_cells[Key(col, row)];
    cell.font = font;
    cell.hasFont = true;
    Changed(col, row);
}

void CCugModel::SetAlignment(int col, int row, Qt::Alignment alignment) {
    if (!InRange(col, row))
        return;
    m_cells[Key(col, row)].alignment = alignment;
    Changed(col, row);
}

void CCugModel::SetDefaultFont(const QFont& font) {
    m_defaultFont = font;
    if (m_rows > 0 && m_cols > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
}

QColor CCugModel::BackColor(int col, int row) const {
    const auto it = m_cells.constFind(Key(col, row));
    return it != m_cells.cend() && it->backColor.isValid() ? it->backColor : m_defaultBack;
}

QColor CCugModel::TextColor(int col, int row) const {
    const auto it = m_cells.constFind(Key(col, row));
    return it != m_cells.cend() && it->textColor.isValid() ? it->textColor : QColor(Qt::black);
}

QFont CCugModel::CellFont(int col, int row) const {
    const auto it = m_cells.constFind(Key(col, row));
    return it != m_cells.cend() && it->hasFont ? it->font : m_defaultFont;
}

void CCugModel::ClearTexts() {
    for (auto it = m_cells.begin(); it != m_cells.end(); ++it) {
        if ((it.key() >> 32) != 0)  // row -1 (the heading) is stored as 0
            it->text.clear();
    }
    if (m_rows > 0 && m_cols > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
}

namespace {

// Paints a cell the way the grid shows it: its own background, its text, and a rectangle
// around the current cell whether or not the grid has the keyboard focus.
class CugDelegate final : public QStyledItemDelegate {
public:
    explicit CugDelegate(QTableView* view) : QStyledItemDelegate(view), m_view(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        const QRect r = option.rect;
        painter->fillRect(r, index.data(Qt::BackgroundRole).value<QColor>());
        painter->setFont(index.data(Qt::FontRole).value<QFont>());
        painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
        const int align = index.data(Qt::TextAlignmentRole).toInt();
        painter->drawText(r.adjusted(3, 0, -3, 0), align, index.data().toString());
        if (index == m_view->currentIndex()) {
            QPen pen(Qt::black);
            pen.setWidth(2);
            painter->setPen(pen);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(r.adjusted(1, 1, -1, -1));
        }
        painter->restore();
    }

private:
    QTableView* m_view;
};

}  // namespace

MyCug::MyCug(QWidget* parent) : QTableView(parent), m_model(new CCugModel(this)) {
    setModel(m_model);
    setItemDelegate(new CugDelegate(this));
    verticalHeader()->hide();  // no side heading
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(250, 250, 250));
    pal.setColor(QPalette::Window, QColor(250, 250, 250));
    setPalette(pal);
    verticalHeader()->setDefaultSectionSize(22);
    verticalHeader()->setMinimumSectionSize(8);

    connect(this, &QTableView::clicked, this,
            [this](const QModelIndex& i) { emit cellClicked(i.column(), i.row()); });
    // Keeps the focus rectangle following the current cell.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, viewport(),
            qOverload<>(&QWidget::update));
    connect(horizontalHeader(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) {
                const int col = horizontalHeader()->logicalIndexAt(pos);
                const QPoint global = horizontalHeader()->mapToGlobal(pos);
                emit cellRightClicked(col, kHeadingRow, global);
                ShowMenu(col, kHeadingRow, global);
            });
}

MyCug::~MyCug() = default;

void MyCug::SetNumberCols(int cols) {
    m_model->SetSize(cols, m_model->rowCount());
}
void MyCug::SetNumberRows(int rows) {
    m_model->SetSize(m_model->columnCount(), rows);
}
int MyCug::GetNumberCols() const {
    return m_model->columnCount();
}
int MyCug::GetNumberRows() const {
    return m_model->rowCount();
}

void MyCug::SetColWidth(int col, int width) {
    setColumnWidth(col, width);
}

void MyCug::SetDefRowHeight(int height) {
    verticalHeader()->setDefaultSectionSize(height);
    for (int r = 0; r < m_model->rowCount(); ++r)
        setRowHeight(r, height);
}

void MyCug::SetTH_Height(int height) {
    if (height <= 0) {
        horizontalHeader()->hide();
        return;
    }
    horizontalHeader()->show();
    horizontalHeader()->setFixedHeight(height);
}

void MyCug::SetDefFont(const QFont& font) {
    setFont(font);
    horizontalHeader()->setFont(font);
    m_model->SetDefaultFont(font);
}

void MyCug::QuickSetText(int col, int row, const QString& text) {
    m_model->SetText(col, row, text);
}
QString MyCug::QuickGetText(int col, int row) const {
    return m_model->Text(col, row);
}
void MyCug::QuickSetTextColor(int col, int row, const QColor& color) {
    m_model->SetTextColor(col, row, color);
}
void MyCug::QuickSetBackColor(int col, int row, const QColor& color) {
    m_model->SetBackColor(col, row, color);
}
void MyCug::QuickSetFont(int col, int row, const QFont& font) {
    m_model->SetCellFont(col, row, font);
}
void MyCug::QuickSetAlignment(int col, int row, Qt::Alignment alignment) {
    m_model->SetAlignment(col, row, alignment);
}
QColor MyCug::QuickGetBackColor(int col, int row) const {
    return m_model->BackColor(col, row);
}
QColor MyCug::QuickGetTextColor(int col, int row) const {
    return m_model->TextColor(col, row);
}

void MyCug::RedrawAll() {
    viewport()->update();
    horizontalHeader()->viewport()->update();
}

void MyCug::AddMenuItem(int id, const QString& text) {
    m_menu.append({id, text});
}
void MyCug::AddMenuSeparator() {
    m_menu.append({0, QString()});
}
void MyCug::EmptyMenu() {
    m_menu.clear();
}

void MyCug::contextMenuEvent(QContextMenuEvent* event) {
    // The view hands on the viewport's event: its position is in viewport coordinates.
    const QModelIndex index = indexAt(event->pos());
    const int col = index.isValid() ? index.column() : -1;
    const int row = index.isValid() ? index.row() : -1;
    emit cellRightClicked(col, row, event->globalPos());
    ShowMenu(col, row, event->globalPos());
    event->accept();
}

void MyCug::ShowMenu(int col, int row, const QPoint& globalPos) {
    if (m_menu.isEmpty())
        return;
    QMenu menu(this);
    for (const MenuItem& item : m_menu) {
        if (item.id == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(item.text);
        action->setData(item.id);
    }
    if (QAction* chosen = menu.exec(globalPos))
        emit menuCommand(chosen->data().toInt(), col, row);
}

}  // namespace orv
