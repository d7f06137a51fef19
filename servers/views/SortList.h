#pragma once
// CSortListCtrl: the model of a report list sorted by a clicked column. Rows keep their own
// copies of their texts; a header click sorts by that column, a second click on the same
// column reverses it, and each column remembers its own direction. UI thread only.
#include "platform/Types.h"

#include <string>
#include <vector>

constexpr int SORT_COLUMN_LIMIT = 32;

// Orders two cell texts by the rule the first text picks: all digits - as decimal numbers
// (of any length; the second text's leading digits); dd/dd/dddd - by characters 7-10, then
// 4-5, then 1-2 as numbers; anything else - locale text order. <0, 0 or >0.
int CompareSortTexts(const std::string& first, const std::string& second);

struct tagSORT_COLUMN
{
    std::string title;
    int width = 0;
};

class CSortListCtrl
{
public:
    // "title,width;title,width;..."; at most 32 columns. FALSE when no column was found.
    BOOL SetColumns(const std::string& columns);
    const std::vector<tagSORT_COLUMN>& Columns() const { return m_columns; }

    // The row's index; missing texts read as empty.
    int AddRow(const std::vector<std::string>& texts, DWORD itemData = 0);
    BOOL SetCellText(int row, int column, const std::string& text);
    BOOL DeleteRow(int row);
    void DeleteAllRows() { m_rows.clear(); }
    std::size_t RowCount() const { return m_rows.size(); }
    const std::vector<std::string>& Row(int row) const { return m_rows.at(row).texts; }
    DWORD RowData(int row) const { return m_rows.at(row).data; }

    // A click on a column header.
    void OnHeaderClick(int column);
    // Sorts again by the sorted column in its direction (rows were replaced).
    void Resort();
    int GetSortColumn() const { return m_sortColumn; } // -1 before the first click
    BOOL IsAscending(int column) const;
    // The header's mark for a column: "ascending", "descending", or empty.
    std::string GetSortMark(int column) const;

private:
    struct tagROW
    {
        std::vector<std::string> texts;
        DWORD data = 0;
    };
    void Sort();

    std::vector<tagSORT_COLUMN> m_columns;
    std::vector<tagROW> m_rows;
    bool m_ascending[SORT_COLUMN_LIMIT] = {true, true, true, true, true, true, true, true,
                                           true, true, true, true, true, true, true, true,
                                           true, true, true, true, true, true, true, true,
                                           true, true, true, true, true, true, true, true};
    int m_sortColumn = -1;
};
