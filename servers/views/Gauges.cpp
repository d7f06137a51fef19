#include "servers/views/Gauges.h"

#include "servers/IPMIServer.h"

#include <cmath>
#include <cstdio>

const tagVIEW_COLOUR BAR_FRAME = {"black", 0x000000};
const tagVIEW_COLOUR BAR_EMPTY = {"silver", 0xC0C0C0};
const tagVIEW_COLOUR BAR_GREEN = {"green", 0x00FF00};
const tagVIEW_COLOUR BAR_YELLOW = {"yellow", 0xFFFF00};
const tagVIEW_COLOUR BAR_MAGENTA = {"magenta", 0xFF00FF};
const tagVIEW_COLOUR BAR_RED = {"red", 0xFF0000};

namespace
{
// base + 7 * (v - from) / (to - from), truncated toward zero; -1 when undefined. A value on
// the upper non-recoverable threshold itself reaches 35 and keeps the top step.
int Step(int base, double v, double from, double to)
{
    double step = base + std::trunc(7.0 * (v - from) / (to - from));
    if (!std::isfinite(step) || step < 0)
        return -1;
    if (step >= GAUGE_LEVEL_STEPS)
        return v <= to ? GAUGE_LEVEL_STEPS - 1 : -1;
    return static_cast<int>(step);
}
} // namespace

int GaugeLevelIndex(float value, const tagGAUGE_THRESHOLDS& t)
{
    const double v = value;
    const double l = (v - t.lnr) / (static_cast<double>(t.unr) - t.lnr);
    int level = -1;
    if (l > 1)
        level = GAUGE_LEVEL_STEPS - 1;
    else if (l < 0)
        level = 0;
    else if (v > t.uc)
        level = Step(28, v, t.uc, t.unr);
    else if (v > t.unc)
        level = Step(21, v, t.unc, t.uc);
    else if (v > t.lnc)
        level = Step(14, v, t.lnc, t.unc);
    else if (v > t.lc)
        level = Step(7, v, t.lc, t.lnc);
    else if (v > t.lnr)
        level = Step(1, v, t.lnr, t.lc);
    else if (v == t.lnr)
        level = 1;
    return level < 0 ? 0 : level;
}

std::string GaugeTypePictureName(BYTE sensorType)
{
    const char* kind = SensorPictureKind(sensorType);
    return std::string("gauge-") + (kind ? kind : "common");
}

std::string GaugeLevelPictureName(int level)
{
    if (level < 0 || level >= GAUGE_LEVEL_STEPS)
        return "level-none";
    char text[16];
    std::snprintf(text, sizeof text, "level-%.2d", level);
    return text;
}

CSensorsUnit::CSensorsUnit(const CSensor& sensor, std::size_t sensorIndex)
    : m_sensor(sensor), m_index(sensorIndex)
{
    Refresh();
}

void CSensorsUnit::SetReading(BYTE raw)
{
    m_sensor.SetRawReading(raw);
    Refresh();
}

void CSensorsUnit::Refresh()
{
    const BYTE raw = m_sensor.GetRawReading();
    m_hasValue = raw != SENSOR_NO_READING;
    if (!m_hasValue)
    {
        m_valueText.clear();
        return;
    }
    tagSENSOR_VALUE value;
    m_sensor.ConvertRaw(raw, value);
    m_value = value.value;
    m_valueText = FormatGaugeValue(value);
    float* slots[] = {&m_thresholds.unr, &m_thresholds.uc, &m_thresholds.unc,
                      &m_thresholds.lnr, &m_thresholds.lc, &m_thresholds.lnc};
    for (std::size_t i = 0; i < 6; ++i)
    {
        tagSENSOR_VALUE threshold;
        m_sensor.ConvertField(SDR_OFFSET_UPPER_NR + i, threshold);
        *slots[i] = threshold.value;
    }
}

std::string CSensorsUnit::GetCaption() const
{
    return m_sensor.GetIdString() + "\r\n" + m_valueText;
}

int CSensorsUnit::GetLevel() const
{
    return m_hasValue ? GaugeLevelIndex(m_value, m_thresholds) : GAUGE_NO_LEVEL;
}

BOOL CCtrlsView::AddUnit(const CSensor& sensor, std::size_t sensorIndex)
{
    if (m_tiles.size() >= GAUGE_TILE_LIMIT)
        return FALSE;
    m_tiles.emplace_back(sensor, sensorIndex);
    return TRUE;
}

void CCtrlsView::Fill(const std::vector<CSensor>& sensors)
{
    m_tiles.clear();
    for (std::size_t i = 0; i < sensors.size(); ++i)
        if (sensors[i].IsValid() && sensors[i].HasThresholds() && !AddUnit(sensors[i], i))
            break;
}

void CCtrlsView::Fill(CIPMIServer* server)
{
    m_tiles.clear();
    if (!server || !server->IsConnected() || !server->IsSdrLoaded())
        return;
    Fill(server->CopySensors());
}

void CCtrlsView::RefreshAll()
{
    for (CSensorsUnit& tile : m_tiles)
        tile.Refresh();
}

void CCtrlsView::RefreshAll(CIPMIServer& server)
{
    CSensorAccess access = server.AccessSensors();
    for (CSensorsUnit& tile : m_tiles)
    {
        const std::size_t i = tile.GetSensorIndex();
        // A tile whose sensor is gone (a new repository) shows no reading.
        if (i < access.Count() && access.At(i).GetRecordId() == tile.GetSensor().GetRecordId() &&
            access.At(i).GetSensorNumber() == tile.GetSensor().GetSensorNumber())
            tile.SetReading(access.At(i).GetRawReading());
        else
            tile.SetReading(SENSOR_NO_READING);
    }
}

tagRECT_I CCtrlsView::TileRect(std::size_t index, int clientWidth)
{
    const int gapX = GAUGE_TILE_WIDTH / 3, gapY = GAUGE_TILE_HEIGHT / 3;
    int columns = (clientWidth - gapX) / (GAUGE_TILE_WIDTH + gapX);
    if (columns < 1)
        columns = 1;
    const int column = static_cast<int>(index % static_cast<std::size_t>(columns));
    const int row = static_cast<int>(index / static_cast<std::size_t>(columns));
    tagRECT_I rect;
    rect.left = gapX + column * (GAUGE_TILE_WIDTH + gapX);
    rect.top = gapY + row * (GAUGE_TILE_HEIGHT + gapY);
    rect.right = rect.left + GAUGE_TILE_WIDTH;
    rect.bottom = rect.top + GAUGE_TILE_HEIGHT;
    return rect;
}

tagBAR_PAINT CThresholdStatic::Paint() const
{
    tagBAR_PAINT paint;
    if (!m_hasValue)
    {
        paint.rest = &BAR_EMPTY;
        return paint;
    }
    const tagGAUGE_THRESHOLDS& t = m_thresholds;
    const double v = m_value;
    const double a = (v - t.lnr) / (static_cast<double>(t.unr) - t.lnr);
    if (!(a >= 0 && a <= 1))
    {
        paint.filled = 1;
        paint.fill = &BAR_RED;
        paint.rest = &BAR_RED;
        return paint;
    }
    paint.filled = a;
    paint.rest = &BAR_EMPTY;
    if (v > t.uc)
        paint.fill = &BAR_MAGENTA;
    else if (v > t.unc)
        paint.fill = &BAR_YELLOW;
    else if (v > t.lnc)
        paint.fill = &BAR_GREEN;
    else if (v > t.lc)
        paint.fill = &BAR_YELLOW;
    else if (v > t.lnr)
        paint.fill = &BAR_MAGENTA;
    return paint;
}
