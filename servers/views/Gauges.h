#pragma once
// The sensor gauge view: CCtrlsView holds at most 100 CSensorsUnit tiles, one per sensor with
// thresholds, each with a sensor-type picture, one of 35 level pictures and a caption; and the
// threshold bar CThresholdStatic, whose paint is given as bands and colours. Tiles keep a copy
// of their sensor and take new readings from the server on RefreshAll. UI thread only.
#include "servers/Sensor.h"
#include "servers/views/ViewTypes.h"

#include <string>
#include <vector>

class CIPMIServer;

constexpr std::size_t GAUGE_TILE_LIMIT = 100;
constexpr int GAUGE_TILE_WIDTH = 126;
constexpr int GAUGE_TILE_HEIGHT = 120;
constexpr int GAUGE_LEVEL_STEPS = 35;
constexpr int GAUGE_NO_LEVEL = -1; // no reading: the missing-reading picture

// Transparent colours of the pictures, as Windows colour values (0x00BBGGRR).
constexpr DWORD GAUGE_TYPE_PICTURE_TRANSPARENT = 0x00FFFF;  // yellow
constexpr DWORD GAUGE_LEVEL_PICTURE_TRANSPARENT = 0xFFFF00; // cyan

// Converted thresholds in record order (bytes 36-41).
struct tagGAUGE_THRESHOLDS
{
    float unr = 0, uc = 0, unc = 0, lnr = 0, lc = 0, lnc = 0;
};

// The level step 0-34 of a value; 0 when the thresholds leave it undefined.
int GaugeLevelIndex(float value, const tagGAUGE_THRESHOLDS& t);
std::string GaugeTypePictureName(BYTE sensorType);
std::string GaugeLevelPictureName(int level); // "level-00".."level-34", "level-none"

struct tagRECT_I
{
    int left = 0, top = 0, right = 0, bottom = 0;
};

class CSensorsUnit
{
public:
    CSensorsUnit(const CSensor& sensor, std::size_t sensorIndex);
    // Recomputes the value texts from the sensor's raw reading.
    void Refresh();
    // Takes the new raw reading and refreshes.
    void SetReading(BYTE raw);

    const CSensor& GetSensor() const { return m_sensor; }
    std::size_t GetSensorIndex() const { return m_index; }
    BOOL HasValue() const { return m_hasValue; }
    float GetValue() const { return m_value; }
    const std::string& GetValueText() const { return m_valueText; }
    std::string GetCaption() const; // name "\r\n" value text
    const tagGAUGE_THRESHOLDS& GetThresholds() const { return m_thresholds; }
    int GetLevel() const; // GAUGE_NO_LEVEL without a value
    std::string GetTypePicture() const { return GaugeTypePictureName(m_sensor.GetSensorType()); }
    std::string GetLevelPicture() const { return GaugeLevelPictureName(GetLevel()); }

private:
    CSensor m_sensor;
    std::size_t m_index;
    bool m_hasValue = false;
    float m_value = 0;
    std::string m_valueText;
    tagGAUGE_THRESHOLDS m_thresholds;
};

class CCtrlsView
{
public:
    // FALSE when the view already holds GAUGE_TILE_LIMIT tiles.
    BOOL AddUnit(const CSensor& sensor, std::size_t sensorIndex);
    void RemoveAll() { m_tiles.clear(); }
    // One tile per sensor with thresholds, in array order; emptied when the server is null,
    // not connected or has no repository.
    void Fill(CIPMIServer* server);
    void Fill(const std::vector<CSensor>& sensors);
    // Every tile recomputes its values from its sensor.
    void RefreshAll();
    // Every tile takes its sensor's present raw reading from the server first.
    void RefreshAll(CIPMIServer& server);
    const std::vector<CSensorsUnit>& Tiles() const { return m_tiles; }
    // Where tile index sits in a view of that client width (rows left to right, gaps of a
    // third of the tile).
    static tagRECT_I TileRect(std::size_t index, int clientWidth);

private:
    std::vector<CSensorsUnit> m_tiles;
};

// The threshold bar's colours.
extern const tagVIEW_COLOUR BAR_FRAME;
extern const tagVIEW_COLOUR BAR_EMPTY;
extern const tagVIEW_COLOUR BAR_GREEN;
extern const tagVIEW_COLOUR BAR_YELLOW;
extern const tagVIEW_COLOUR BAR_MAGENTA;
extern const tagVIEW_COLOUR BAR_RED;
constexpr int BAR_FRAME_PEN_WIDTH = 3;

struct tagBAR_PAINT
{
    double filled = 0;                    // fraction of the width filled from the left, 0-1
    const tagVIEW_COLOUR* fill = nullptr; // colour of the filled part; null: not filled
    const tagVIEW_COLOUR* rest = nullptr; // colour of the rest of the bar
};

class CThresholdStatic
{
public:
    void SetThresholds(const tagGAUGE_THRESHOLDS& thresholds) { m_thresholds = thresholds; }
    void SetValue(float value)
    {
        m_value = value;
        m_hasValue = true;
    }
    void ClearValue() { m_hasValue = false; }
    tagBAR_PAINT Paint() const;

private:
    tagGAUGE_THRESHOLDS m_thresholds;
    float m_value = 0;
    bool m_hasValue = false;
};
