#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QPoint>
#include <QString>
#include <QTableView>

class QMenu;

namespace orv {

// The cells of a MyCug grid. Row -1 is the heading row (shown as the horizontal header); data
// rows count from 0. Each cell keeps its own text, font and colours; a cell without its own
// font or colour uses the grid's default.
class CCugModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CCugModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void SetSize(int cols, int rows);
    // Out-of-range cells are ignored (set) or give an empty text (get).
    void SetText(int col, int row, const QString& text);
    QString Text(int col, int row) const;
    void SetTextColor(int col, int row, const QColor& color);
    void SetBackColor(int col, int row, const QColor& color);
    void SetCellFont(int col, int row, const QFont& font);
    void SetAlignment(int col, int row, Qt::Alignment alignment);
    void SetDefaultFont(const QFont& font);
    void SetDefaultBackColor(const QColor& color) { m_defaultBack = color; }
    QColor BackColor(int col, int row) const;
    QColor TextColor(int col, int row) const;
    QFont CellFont(int col, int row) const;
    // Empties every data cell's text, keeping fonts and colours.
    void ClearTexts();

private:
    struct Cell {
        QString text;
        QColor textColor;  // invalid: the grid's default (black)
        QColor backColor;  // invalid: the grid's default background
        QFont font;
        bool hasFont = false;
        Qt::Alignment alignment = Qt::AlignCenter;
    };
    static quint64 Key(int col, int row) {
        return (quint64(quint32(row + 1)) << 32) | quint32(col);
    }
    bool InRange(int col, int row) const {
        return col >= 0 && col < m_cols && row >= -1 && row < m_rows;
    }
    void Changed(int col, int row);

    int m_cols = 0;
    int m_rows = 0;
    QHash<quint64, Cell> m_cells;
    QFont m_defaultFont;
    QColor m_defaultBack{250, 250, 250};
};

// The spreadsheet-style grid the key strip and the statistics grid are built on: a heading row,
// no side heading, a light grey background, a focus rectangle around the current cell, per-cell
// texts, fonts and colours, and a right-button menu whose commands are reported by id.
class MyCug : public QTableView {
    Q_OBJECT
public:
    static constexpr int kHeadingRow = -1;

    explicit MyCug(QWidget* parent = nullptr);
    ~MyCug() override;

    // Grid set-up. Creating the grid calls OnSetup once the model exists.
    void SetNumberCols(int cols);
    void SetNumberRows(int rows);
    int GetNumberCols() const;
    int GetNumberRows() const;
    void SetColWidth(int col, int width);
    void SetDefRowHeight(int height);
    void SetTH_Height(int height);  // heading row height; 0 hides the heading
    void SetDefFont(const QFont& font);

    void QuickSetText(int col, int row, const QString& text);
    QString QuickGetText(int col, int row) const;
    void QuickSetTextColor(int col, int row, const QColor& color);
    void QuickSetBackColor(int col, int row, const QColor& color);
    void QuickSetFont(int col, int row, const QFont& font);
    void QuickSetAlignment(int col, int row, Qt::Alignment alignment);
    QColor QuickGetBackColor(int col, int row) const;
    QColor QuickGetTextColor(int col, int row) const;
    void RedrawAll();

    // The right-button menu: items are shown in the order added; choosing one emits
    // menuCommand with its id and the cell that was clicked.
    void AddMenuItem(int id, const QString& text);
    void AddMenuSeparator();
    void EmptyMenu();

    CCugModel* cells() const { return m_model; }

signals:
    // Right button released over a cell (row -1: the heading row; col/row -1 outside any cell).
    void cellRightClicked(int col, int row, const QPoint& globalPos);
    void cellClicked(int col, int row);
    void menuCommand(int id, int col, int row);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ShowMenu(int col, int row, const QPoint& globalPos);

    CCugModel* m_model;
    struct MenuItem {
        int id;  // 0: separator
        QString text;
    };
    QList<MenuItem> m_menu;
};

}  // namespace orv
