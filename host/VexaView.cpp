#include "host/VexaView.h"

#include "servers/IPMIServer.h"

#include <sstream>

const char* ViewModeName(VIEW_MODE mode)
{
    switch (mode)
    {
    case VIEW_MODE::LIST:
        return "list";
    case VIEW_MODE::GAUGES:
        return "gauges";
    case VIEW_MODE::CONSOLE:
        return "console";
    default:
        return "none";
    }
}

namespace
{
VIEW_MODE ModeOf(BYTE kind)
{
    if (kind == VIEW_ALL_SENSORS)
        return VIEW_MODE::GAUGES;
    if (kind == VIEW_CONSOLE)
        return VIEW_MODE::CONSOLE;
    return GetColumnTitles(kind).empty() ? VIEW_MODE::NONE : VIEW_MODE::LIST;
}

bool IsSensorKind(BYTE kind)
{
    return kind == VIEW_SDR_SENSOR || kind == VIEW_COMPACT_SENSOR;
}

// Kinds whose rows follow the readings: the sensors' icons and values.
bool FollowsReadings(BYTE kind)
{
    switch (kind)
    {
    case VIEW_IPMI_SERVER:
    case VIEW_SDR:
    case VIEW_SDR_TYPE:
    case VIEW_SDR_SENSOR:
    case VIEW_COMPACT_SDR:
    case VIEW_COMPACT_TYPE:
    case VIEW_COMPACT_SENSOR:
    case VIEW_ALL_SENSORS:
        return true;
    default:
        return false;
    }
}

std::string ColumnSpec(const std::vector<tagLIST_COLUMN>& columns)
{
    std::ostringstream spec;
    for (const tagLIST_COLUMN& c : columns)
        spec << c.title << ',' << c.width << ';';
    return spec.str();
}
} // namespace

template <class Fn> auto CVexaView::Busy(Fn fn)
{
    ++m_busy;
    auto result = fn();
    --m_busy;
    if (m_busy == 0 && m_refreshPending)
    {
        m_refreshPending = false;
        Rebuild(m_newNodePending);
        m_newNodePending = false;
    }
    return result;
}

void CVexaView::SetChangeHandler(std::function<void()> handler)
{
    m_onChange = std::move(handler);
}

void CVexaView::ShowNode(DWORD node)
{
    m_node = node;
    if (m_busy > 0)
    {
        m_refreshPending = true;
        m_newNodePending = true;
        return;
    }
    Rebuild(true);
}

void CVexaView::Refresh()
{
    if (m_busy > 0)
    {
        m_refreshPending = true;
        return;
    }
    Rebuild(false);
}

void CVexaView::OnReadings(BYTE tag, long long nowMs)
{
    if (!m_hasKind || tag != ShownTag())
        return;
    ++m_readingsSeq;
    m_readingsAtMs = nowMs;
    // Lists that do not show readings are not pushed again for them; the counters go
    // out with the next change.
    if (FollowsReadings(m_kind))
        Refresh();
}

void CVexaView::Rebuild(bool newNode)
{
    const BYTE kind = ViewNodeKind(m_node);
    const tagVIEW_SOURCES sources = m_sources ? m_sources(m_node) : tagVIEW_SOURCES{};
    const bool rebuildColumns = !m_hasKind || NeedsColumnRebuild(m_kind, kind);
    if (newNode)
    {
        m_editingRow = -1;
        m_sorted = false;
    }
    m_kind = kind;
    m_hasKind = true;
    m_sensorList = false;
    switch (ModeOf(kind))
    {
    case VIEW_MODE::GAUGES:
        m_gauges.Fill(sources.server);
        m_custom.Show(FALSE);
        break;
    case VIEW_MODE::LIST:
        FillList(BuildNodeContent(m_node, sources, VIEW_CLIENT_WIDTH), rebuildColumns);
        break;
    default:
        m_custom.Show(FALSE);
        m_gauges.RemoveAll();
        m_list.DeleteAllRows();
        m_columns.clear();
        break;
    }
    Publish();
}

void CVexaView::FillList(const tagVIEW_CONTENT& content, bool rebuildColumns)
{
    if (rebuildColumns || m_columns.empty())
    {
        m_columns.clear();
        for (const tagLIST_COLUMN& c : content.columns)
            if (c.width > 0)
                m_columns.push_back(c);
        m_list.SetColumns(ColumnSpec(m_columns));
    }
    if (IsSensorKind(m_kind))
    {
        m_sensorList = true;
        m_list.DeleteAllRows();
        if (!content.sensor)
        {
            // The sensor is gone (a new repository read): nothing to show or edit.
            m_custom.SetSensor(CSensor(), ShownTag());
            m_custom.Show(FALSE);
            m_editingRow = -1;
            return;
        }
        // The operator's typing is not overwritten by a new reading.
        if (m_editingRow < 0)
        {
            m_custom.SetSensor(*content.sensor, ShownTag());
            m_custom.Show(TRUE);
            m_custom.Paint();
        }
        return;
    }
    m_custom.Show(FALSE);
    m_list.DeleteAllRows();
    m_images.clear();
    for (const tagLIST_ROW& row : content.rows)
    {
        m_list.AddRow(row.cells, row.itemData);
        if (!row.image.empty())
            m_images[row.itemData] = row.image;
    }
    if (m_sorted)
        m_list.Resort();
}

bool CVexaView::IsThresholdList() const
{
    return m_sensorList && !m_custom.Rows().empty() &&
           m_custom.Rows()[0].itemData == ROW_DATA_THRESHOLD_LIST;
}

const CSensor* CVexaView::ShownSensor() const
{
    return m_sensorList && !m_custom.Rows().empty() ? &m_custom.GetSensor() : nullptr;
}

BOOL CVexaView::GetRow(int row, tagLIST_ROW* out) const
{
    if (ModeOf(m_kind) != VIEW_MODE::LIST || row < 0)
        return FALSE;
    if (m_sensorList)
    {
        if (row >= static_cast<int>(m_custom.Rows().size()))
            return FALSE;
        *out = m_custom.Rows()[static_cast<std::size_t>(row)];
        return TRUE;
    }
    if (row >= static_cast<int>(m_list.RowCount()))
        return FALSE;
    out->cells = m_list.Row(row);
    out->itemData = m_list.RowData(row);
    const auto image = m_images.find(out->itemData);
    out->image = image == m_images.end() ? "" : image->second;
    return TRUE;
}

BOOL CVexaView::Sort(int column)
{
    // The one-sensor list keeps its order: its editors belong to fixed rows.
    if (ModeOf(m_kind) != VIEW_MODE::LIST || m_sensorList || column < 0 ||
        column >= static_cast<int>(m_columns.size()))
        return FALSE;
    m_list.OnHeaderClick(column);
    m_sorted = true;
    Publish();
    return TRUE;
}

BOOL CVexaView::EditChange(int row, const std::string& text)
{
    if (m_busy > 0 || !IsThresholdList() || !m_custom.Editor(row).visible)
        return FALSE;
    if (m_editingRow != row)
    {
        m_custom.BeginEdit(row);
        m_editingRow = row;
    }
    m_custom.OnEditChange(row, text);
    Publish();
    return TRUE;
}

BOOL CVexaView::EditEnd(int row, const std::string& text, IMessageBoxService& boxes)
{
    // One edit or sheet request at a time: a second one waits for the first's boxes.
    if (m_busy > 0 || !IsThresholdList() || !m_custom.Editor(row).visible)
        return FALSE;
    if (m_editingRow != row)
        m_custom.BeginEdit(row);
    const BYTE tag = ShownTag();
    return Busy(
        [&]
        {
            const CSensor sensor = m_custom.GetSensor();
            const ThresholdSender send = [&](const tagTHRESHOLD_REQUEST& request)
            { return m_send ? m_send(tag, sensor, request) : -1; };
            m_custom.OnEditEnd(row, text, sensor.GetSensorNumber(), send, boxes);
            m_editingRow = -1;
            Publish();
            return TRUE;
        });
}

void CVexaView::OpenSheet(const std::string& title, const CSensor& sensor, BYTE tag)
{
    if (m_busy > 0)
        return;
    m_sheet = std::make_unique<CSDRPropSheet>(title, sensor);
    m_sheetTag = tag;
    Publish();
}

BOOL CVexaView::SheetSpin(int index, int position)
{
    if (m_busy > 0 || !m_sheet || index < 0 || index >= THRESHOLD_COUNT ||
        !m_sheet->Spins()[index].visible)
        return FALSE;
    m_sheet->SetSpin(index, position);
    Publish();
    return TRUE;
}

BOOL CVexaView::SheetOk(IMessageBoxService& boxes)
{
    if (m_busy > 0 || !m_sheet)
        return FALSE;
    const BYTE tag = m_sheetTag;
    return Busy(
        [&]
        {
            const CSensor sensor = m_sheet->GetSensor();
            const ThresholdSender send = [&](const tagTHRESHOLD_REQUEST& request)
            { return m_send ? m_send(tag, sensor, request) : -1; };
            tagTHRESHOLD_REQUEST request;
            if (m_sheet->OnOK(sensor.GetSensorNumber(), send, boxes, &request))
            {
                // The one-sensor list shows the record's new values.
                if (request.mask != 0 && tag == ShownTag())
                {
                    m_editingRow = -1;
                    m_refreshPending = true;
                }
                m_sheet.reset();
            }
            Publish();
            return TRUE;
        });
}

BOOL CVexaView::CloseSheet()
{
    if (m_busy > 0 || !m_sheet)
        return FALSE;
    m_sheet.reset();
    Publish();
    return TRUE;
}

void CVexaView::Publish()
{
    tagVIEW_STATE state;
    state.node = m_node;
    state.kind = m_kind;
    state.mode = m_hasKind ? ModeOf(m_kind) : VIEW_MODE::NONE;
    state.readingsSeq = m_readingsSeq;
    state.readingsAtMs = m_readingsAtMs;
    if (state.mode == VIEW_MODE::LIST)
    {
        state.columns = m_columns;
        for (std::size_t c = 0; c < m_columns.size(); ++c)
            state.sortMarks.push_back(m_sorted ? m_list.GetSortMark(static_cast<int>(c)) : "");
        state.sortColumn = m_sorted ? m_list.GetSortColumn() : -1;
        if (m_sensorList)
        {
            state.rows = m_custom.Rows();
            if (IsThresholdList())
            {
                for (int row = THRESHOLD_FIRST_ROW; row <= THRESHOLD_LAST_ROW; ++row)
                {
                    const tagTHRESHOLD_EDITOR& e = m_custom.Editor(row);
                    if (e.exists)
                        state.editors.push_back(
                            {row, e.visible, e.text, e.spinMinimum, e.spinMaximum, e.wraps});
                }
                state.more = IsMoreVisible();
            }
        }
        else
        {
            state.rows.reserve(m_list.RowCount());
            for (std::size_t r = 0; r < m_list.RowCount(); ++r)
            {
                tagLIST_ROW row;
                GetRow(static_cast<int>(r), &row);
                state.rows.push_back(std::move(row));
            }
        }
    }
    else if (state.mode == VIEW_MODE::GAUGES)
    {
        const auto& tiles = m_gauges.Tiles();
        for (std::size_t i = 0; i < tiles.size(); ++i)
        {
            const CSensorsUnit& t = tiles[i];
            state.tiles.push_back({i, t.GetSensor().GetIdString(), t.GetValueText(),
                                   t.HasValue() != FALSE, t.GetTypePicture(), t.GetLevelPicture(),
                                   CCtrlsView::TileRect(i, VIEW_CLIENT_WIDTH)});
        }
    }
    if (m_sheet)
    {
        tagVIEW_SHEET sheet;
        sheet.title = m_sheet->GetTitle();
        sheet.pages = CSDRPropSheet::PageTitles();
        sheet.information = m_sheet->InfoPage();
        sheet.sensorName = m_sheet->SettingsSensorName();
        sheet.currentValue = m_sheet->SettingsCurrentValue();
        sheet.units = m_sheet->SettingsUnits();
        sheet.spins = m_sheet->Spins();
        const CSensorsUnit unit(m_sheet->GetSensor(), 0);
        CThresholdStatic bar;
        bar.SetThresholds(unit.GetThresholds());
        if (unit.HasValue())
            bar.SetValue(unit.GetValue());
        sheet.bar = bar.Paint();
        sheet.capabilities = m_sheet->CapabilitiesPage();
        state.sheet = std::move(sheet);
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_published = std::move(state);
    }
    if (m_onChange)
        m_onChange();
}

tagVIEW_STATE CVexaView::Snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_published;
}
