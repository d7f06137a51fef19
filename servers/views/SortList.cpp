#include "servers/views/SortList.h"

#include <algorithm>
#include <cstring>

namespace
{
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

bool IsDate(const std::string& t)
{
    if (t.size() != 10 || t[2] != '/' || t[5] != '/')
        return false;
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (!IsDigit(t[i]))
            return false;
    return true;
}

// The leading digits of a text without their leading zeros.
std::string DigitRun(const std::string& text)
{
    std::size_t end = 0;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    std::size_t start = 0;
    while (start < end && text[start] == '0')
        ++start;
    return text.substr(start, end - start);
}

int CompareNumbers(const std::string& a, const std::string& b)
{
    const std::string x = DigitRun(a), y = DigitRun(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return x.compare(y) < 0 ? -1 : x.compare(y) > 0 ? 1 : 0;
}

std::string Part(const std::string& text, std::size_t from, std::size_t count)
{
    return from < text.size() ? text.substr(from, count) : std::string();
}
} // namespace

int CompareSortTexts(const std::string& a, const std::string& b)
{
    if (AllDigits(a))
        return CompareNumbers(a, b);
    if (IsDate(a))
    {
        // Year (characters 7-10), then characters 4-5, then 1-2.
        const std::size_t parts[3][2] = {{6, 4}, {3, 2}, {0, 2}};
        for (const auto& p : parts)
            if (int c = CompareNumbers(Part(a, p[0], p[1]), Part(b, p[0], p[1])))
                return c;
        return 0;
    }
    int c = std::strcoll(a.c_str(), b.c_str());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

BOOL CSortListCtrl::SetColumns(const std::string& columns)
{
    m_columns.clear();
    std::size_t start = 0;
    while (start <= columns.size() && m_columns.size() < SORT_COLUMN_LIMIT)
    {
        std::size_t end = columns.find(';', start);
        if (end == std::string::npos)
            end = columns.size();
        const std::string piece = columns.substr(start, end - start);
        if (!piece.empty())
        {
            const std::size_t comma = piece.rfind(',');
            tagSORT_COLUMN column;
            column.title = piece.substr(0, comma);
            if (comma != std::string::npos)
            {
                const std::string width = piece.substr(comma + 1);
                column.width = std::min(100000, std::stoi("0" + DigitRun(width)));
            }
            m_columns.push_back(column);
        }
        start = end + 1;
    }
    return m_columns.empty() ? FALSE : TRUE;
}

int CSortListCtrl::AddRow(const std::vector<std::string>& texts, DWORD itemData)
{
    tagROW row{texts, itemData};
    row.texts.resize(std::max(texts.size(), m_columns.size()));
    m_rows.push_back(std::move(row));
    return static_cast<int>(m_rows.size() - 1);
}

BOOL CSortListCtrl::SetCellText(int row, int column, const std::string& text)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0 ||
        column >= SORT_COLUMN_LIMIT)
        return FALSE;
    auto& texts = m_rows[row].texts;
    if (texts.size() <= static_cast<std::size_t>(column))
        texts.resize(column + 1);
    texts[column] = text;
    return TRUE;
}

BOOL CSortListCtrl::DeleteRow(int row)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return FALSE;
    m_rows.erase(m_rows.begin() + row);
    return TRUE;
}

void CSortListCtrl::OnHeaderClick(int column)
{
    if (column < 0 || column >= SORT_COLUMN_LIMIT)
        return;
    if (column == m_sortColumn)
        m_ascending[column] = !m_ascending[column];
    m_sortColumn = column;
    Sort();
}

void CSortListCtrl::Resort()
{
    if (m_sortColumn >= 0)
        Sort();
}

BOOL CSortListCtrl::IsAscending(int column) const
{
    return column >= 0 && column < SORT_COLUMN_LIMIT && m_ascending[column];
}

std::string CSortListCtrl::GetSortMark(int column) const
{
    if (column != m_sortColumn || column < 0)
        return "";
    return m_ascending[column] ? "ascending" : "descending";
}

void CSortListCtrl::Sort()
{
    const std::size_t column = static_cast<std::size_t>(m_sortColumn);
    const bool ascending = m_ascending[m_sortColumn];
    auto text = [column](const tagROW& row) -> const std::string&
    {
        static const std::string empty;
        return column < row.texts.size() ? row.texts[column] : empty;
    };
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [&](const tagROW& x, const tagROW& y)
                     {
                         // Descending swaps the pair; the rule is the first text's.
                         return ascending ? CompareSortTexts(text(x), text(y)) < 0
                                          : CompareSortTexts(text(y), text(x)) < 0;
                     });
}
