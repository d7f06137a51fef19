#pragma once
// Threshold editing: the one-sensor list of a threshold sensor with its six in-place editors
// (CCustomLV), the ordering checks, the Set Sensor Thresholds request (IPMI v1.5, 29.8), and
// the SDR property sheet (CSDRPropSheet) whose settings page sets every changed threshold in
// one request. The models keep their own copy of the sensor; the server's record is written
// through ApplyThresholds. UI thread only; the request blocks it until the server answers.
#include "platform/MessageBox.h"
#include "servers/Sensor.h"
#include "servers/views/ViewTypes.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

class CServer;
class CIPMIServer;

constexpr int THRESHOLD_FIRST_ROW = 4; // upper non-recoverable
constexpr int THRESHOLD_LAST_ROW = 9;  // lower non-critical
constexpr int THRESHOLD_COUNT = 6;

constexpr const char* THRESHOLD_INVALID_CAPTION = "Invalid threshold value";
constexpr const char* SET_THRESHOLD_CAPTION = "Set Threshold";
constexpr const char* SET_THRESHOLD_SUCCEEDED = "Succeed in Setting threshold.\n";
constexpr const char* SET_THRESHOLD_FAILED = "Failed to Set threshold.\n";

// The list row of a threshold, its record offset and its bit in the threshold mask.
constexpr std::size_t ThresholdRowOffset(int row)
{
    return static_cast<std::size_t>(row + 32);
}
constexpr int ThresholdRowBit(int row)
{
    return 9 - row;
}
// The offset the controller knows a shown threshold by: exchanged for a fan sensor whose
// thresholds were exchanged at construction.
std::size_t ControllerOffset(const CSensor& sensor, int row);
// Whether a threshold's editor is shown: one of its two assertion events is enabled.
BOOL IsThresholdEditable(const CSensor& sensor, int row);
// A typed text as the raw byte it sets: decimal digits up to the first other character, low
// 8 bits kept; no digits read as 0.
BYTE ParseThresholdText(const std::string& text);
// The ordering checks of a row for a new raw value, in order; the failure messages (both
// when both fail), empty when the value may be sent.
std::vector<std::string> CheckThreshold(const CSensor& sensor, int row, BYTE raw);

// The request's data: thresholds in request order (lower non-critical, lower critical, lower
// non-recoverable, upper non-critical, upper critical, upper non-recoverable); position i is
// mask bit i and controller offset 41 - i.
struct tagTHRESHOLD_REQUEST
{
    BYTE sensorNumber = 0;
    BYTE mask = 0;
    BYTE values[THRESHOLD_COUNT] = {};
};
void AddThreshold(tagTHRESHOLD_REQUEST& request, std::size_t controllerOffset, BYTE raw);
// The request record: the catalogue row, the sensor number, the mask and the six values.
std::vector<BYTE> BuildThresholdRequest(const tagTHRESHOLD_REQUEST& request);

// Sends the request: 0 when the reply's completion code is 00h, -1 otherwise (no reply, or
// no IPMI server).
using ThresholdSender = std::function<int(const tagTHRESHOLD_REQUEST&)>;
int SendThresholdRequest(CServer* server, const tagTHRESHOLD_REQUEST& request);
// Writes the thresholds named by the request's mask into the server's own record of the
// sensor (found by record kind, type and number), in the record's exchanged order.
void ApplyThresholds(CIPMIServer& server, const CSensor& sensor,
                     const tagTHRESHOLD_REQUEST& request);

// The lines of the one-sensor list: rows 0-1, plus 2-9 for a sensor with thresholds, or the
// three lines of a sensor that is not threshold-based. Cells as split at ':'.
std::vector<tagLIST_ROW> BuildSensorRows(const CSensor& sensor);

struct tagTHRESHOLD_EDITOR
{
    bool exists = false; // created on the first paint of a threshold list
    bool visible = false;
    std::string text;      // decimal
    std::string startText; // the text when editing began
    int spinMinimum = 0;
    int spinMaximum = 255;
    bool wraps = false; // the lower-threshold rows
    int spinPosition = 0;
};

// What ending an edit did.
struct tagTHRESHOLD_OUTCOME
{
    bool attempted = false; // the text differed from the starting text
    std::vector<std::string> failedChecks;
    bool sent = false;
    tagTHRESHOLD_REQUEST request;
    bool succeeded = false;
};

class CCustomLV
{
public:
    // The sensor to show; one without thresholds hides every editor.
    void SetSensor(const CSensor& sensor, BYTE serverTag);
    const CSensor& GetSensor() const { return m_sensor; }
    const std::vector<tagLIST_ROW>& Rows() const { return m_rows; }
    // The view switched to this list (TRUE) or to any other (FALSE).
    void Show(BOOL thresholdList);
    // The first paint creates the editors with the cells' values.
    void Paint();
    const tagTHRESHOLD_EDITOR& Editor(int row) const;
    bool IsMoreButtonVisible() const { return m_moreVisible; }

    void BeginEdit(int row);
    // The live update of a keystroke: the raw and converted columns of the row.
    void OnEditChange(int row, const std::string& text);
    // Editing ended: validate, send through send, report and rebuild the row.
    tagTHRESHOLD_OUTCOME OnEditEnd(int row, const std::string& text, BYTE sensorNumber,
                                   const ThresholdSender& send, IMessageBoxService& boxes);
    // Writes the masked values (request order) into the record and refreshes their rows.
    void UpdateThresholdRow(const BYTE values[THRESHOLD_COUNT], BYTE mask);

private:
    void RefreshRow(int row, BYTE raw);

    CSensor m_sensor;
    BYTE m_tag = VIEW_NO_SERVER_TAG;
    std::vector<tagLIST_ROW> m_rows;
    std::array<tagTHRESHOLD_EDITOR, THRESHOLD_COUNT> m_editors;
    bool m_shown = false;
    bool m_moreVisible = false;
};

// The SDR property sheet.
struct tagSDR_INFO_PAGE
{
    std::string sensorName, status, currentValue, sensorType, recordId, sdrVersion;
};
struct tagSDR_SPIN
{
    int row = 0; // the list row it stands for (4-9)
    std::string label;
    bool visible = false;
    int minimum = 0;
    int maximum = 255;
    int position = 0; // raw
    std::string convertedText;
    bool changed = false;
};
struct tagSDR_CAP_ITEM
{
    std::string name;
    WORD mask = 0;
    std::string icon; // "set" or "clear"
};

class CSDRPropSheet
{
public:
    CSDRPropSheet(std::string title, const CSensor& sensor);
    const std::string& GetTitle() const { return m_title; }
    // Page titles, in order: "Information", "Settings", "Capabilities".
    static std::vector<std::string> PageTitles();

    tagSDR_INFO_PAGE InfoPage() const;
    std::string SettingsSensorName() const { return m_sensor.GetIdString(); }
    std::string SettingsCurrentValue() const;
    std::string SettingsUnits() const { return m_sensor.GetUnitsText(); }
    const std::array<tagSDR_SPIN, THRESHOLD_COUNT>& Spins() const { return m_spins; }
    // A spin moved (index 0-5, rows 4-9); out-of-range positions are clamped.
    void SetSpin(int index, int position);
    std::vector<tagSDR_CAP_ITEM> CapabilitiesPage() const;

    // OK: with at least one change, one request of every changed threshold; no checks. TRUE
    // when nothing needed sending or the request succeeded; the sheet's sensor copy then
    // holds the new values. request receives what was sent.
    BOOL OnOK(BYTE sensorNumber, const ThresholdSender& send, IMessageBoxService& boxes,
              tagTHRESHOLD_REQUEST* request = nullptr);
    const CSensor& GetSensor() const { return m_sensor; }

private:
    std::string m_title;
    CSensor m_sensor;
    std::array<tagSDR_SPIN, THRESHOLD_COUNT> m_spins;
};
