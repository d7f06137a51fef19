#include "servers/views/Thresholds.h"

#include "servers/IPMIServer.h"
#include "transport/CommandTable.h"

#include <algorithm>
#include <cstdio>

namespace
{
const char* const kThresholdLabels[THRESHOLD_COUNT] = {
    "Upper non-recoverable Threshold ", "Upper critical Threshold ",
    "Upper non-critical Threshold ",    "Lower non-recoverable Threshold ",
    "Lower critical Threshold ",        "Lower non-critical Threshold "};

const char* const kSpinLabels[THRESHOLD_COUNT] = {"Upper non-recoverable", "Upper critical",
                                                  "Upper non-critical",    "Lower non-recoverable",
                                                  "Lower critical",        "Lower non-critical"};

std::string Hex2(BYTE value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%.2X", value);
    return text;
}

std::string ConvertedText(const CSensor& sensor, BYTE raw)
{
    tagSENSOR_VALUE value;
    sensor.ConvertRaw(raw, value);
    return sensor.FormatValue(value);
}

float Converted(const CSensor& sensor, BYTE raw)
{
    tagSENSOR_VALUE value;
    sensor.ConvertRaw(raw, value);
    return value.value;
}

float ConvertedField(const CSensor& sensor, std::size_t offset)
{
    return Converted(sensor, sensor.GetByte(offset));
}

std::size_t ExchangedOffset(std::size_t offset)
{
    return offset <= SDR_OFFSET_UPPER_NC ? offset + 3 : offset - 3;
}

int RowIndex(int row)
{
    return row - THRESHOLD_FIRST_ROW;
}

bool IsThresholdRow(int row)
{
    return row >= THRESHOLD_FIRST_ROW && row <= THRESHOLD_LAST_ROW;
}

// One check: holds when value is not on the wrong side of the record byte.
struct tagCHECK
{
    std::size_t offset;
    bool atLeast; // new >= byte; otherwise new <= byte
    const char* message;
};

const std::vector<tagCHECK>& ChecksOf(int row)
{
    static const std::vector<tagCHECK> checks[THRESHOLD_COUNT] = {
        {{SDR_OFFSET_UPPER_C, true,
          "The upper nonrecoverable threshold should not less than upper critical threshold."}},
        {{SDR_OFFSET_UPPER_NC, true,
          "The upper critical threshold should not less than upper noncritical threshold."},
         {SDR_OFFSET_UPPER_NR, false,
          "The upper critical threshold should not greater than upper nonrecoverable "
          "threshold."}},
        {{SDR_OFFSET_LOWER_NC, true,
          "The upper noncritical threshold should not less than lower noncritical threshold."},
         {SDR_OFFSET_UPPER_C, false,
          "The upper noncritical threshold should not greater than upper critical threshold."}},
        {{SDR_OFFSET_LOWER_C, false,
          "The lower nonrecoverable threshold should not greater than lower critical "
          "threshold."}},
        {{SDR_OFFSET_LOWER_NC, false,
          "The lower critical threshold should not greater than lower noncritical threshold."},
         {SDR_OFFSET_LOWER_NR, true,
          "The lower critical threshold should not less than lower nonrecoverable threshold."}},
        {{SDR_OFFSET_LOWER_C, true,
          "The lower noncritical threshold should not less than lower critical threshold."},
         {SDR_OFFSET_UPPER_NC, false,
          "The lower noncritical threshold should not greater than upper noncritical "
          "threshold."}}};
    return checks[RowIndex(row)];
}
} // namespace

std::size_t ControllerOffset(const CSensor& sensor, int row)
{
    std::size_t offset = ThresholdRowOffset(row);
    return sensor.AreThresholdsSwapped() ? ExchangedOffset(offset) : offset;
}

BOOL IsThresholdEditable(const CSensor& sensor, int row)
{
    const BYTE low = sensor.GetByte(SDR_OFFSET_ASSERTION_MASK);
    const BYTE high = sensor.GetByte(SDR_OFFSET_ASSERTION_MASK + 1);
    switch (row)
    {
    case 4:
        return (high & 0x0C) != 0;
    case 5:
        return (high & 0x03) != 0;
    case 6:
        return (low & 0xC0) != 0;
    case 7:
        return (low & 0x30) != 0;
    case 8:
        return (low & 0x0C) != 0;
    case 9:
        return (low & 0x03) != 0;
    default:
        return FALSE;
    }
}

BYTE ParseThresholdText(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    unsigned value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = (value * 10 + static_cast<unsigned>(text[i] - '0')) & 0xFF;
    return static_cast<BYTE>(value);
}

std::vector<std::string> CheckThreshold(const CSensor& sensor, int row, BYTE raw)
{
    std::vector<std::string> failed;
    if (!IsThresholdRow(row))
        return failed;
    const float value = Converted(sensor, raw);
    for (const tagCHECK& check : ChecksOf(row))
    {
        const float other = ConvertedField(sensor, check.offset);
        const bool holds = check.atLeast ? value >= other : value <= other;
        if (!holds)
            failed.push_back(check.message);
    }
    return failed;
}

void AddThreshold(tagTHRESHOLD_REQUEST& request, std::size_t controllerOffset, BYTE raw)
{
    if (controllerOffset < SDR_OFFSET_UPPER_NR || controllerOffset > SDR_OFFSET_LOWER_NC)
        return;
    const int bit = static_cast<int>(SDR_OFFSET_LOWER_NC - controllerOffset);
    request.mask = static_cast<BYTE>(request.mask | (1u << bit));
    request.values[bit] = raw;
}

std::vector<BYTE> BuildThresholdRequest(const tagTHRESHOLD_REQUEST& request)
{
    std::vector<BYTE> bytes(3 + THRESHOLD_COUNT);
    bytes[0] = ROW_SET_SENSOR_THRESHOLDS;
    bytes[1] = request.sensorNumber;
    bytes[2] = request.mask;
    for (int i = 0; i < THRESHOLD_COUNT; ++i)
        bytes[3 + i] = request.values[i];
    return bytes;
}

int SendThresholdRequest(CServer* server, const tagTHRESHOLD_REQUEST& request)
{
    auto* ipmi = dynamic_cast<CIPMIServer*>(server);
    if (!ipmi)
        return -1;
    const std::vector<BYTE> bytes = BuildThresholdRequest(request);
    tagIPMI_REPLY reply;
    if (!ipmi->SendCommand(bytes.data(), bytes.size(), reply) || reply.length < 2 ||
        reply.data[1] != IPMI_CC_SUCCESS)
        return -1;
    return 0;
}

void ApplyThresholds(CIPMIServer& server, const CSensor& sensor,
                     const tagTHRESHOLD_REQUEST& request)
{
    CSensorAccess access = server.AccessSensors();
    CSensor* own = access.FindSensorByType(sensor.IsFullRecord(), sensor.GetSensorType(),
                                           sensor.GetSensorNumber());
    if (!own)
        return;
    for (int bit = 0; bit < THRESHOLD_COUNT; ++bit)
    {
        if (!(request.mask & (1u << bit)))
            continue;
        std::size_t offset = SDR_OFFSET_LOWER_NC - static_cast<std::size_t>(bit);
        if (own->AreThresholdsSwapped())
            offset = ExchangedOffset(offset);
        own->SetByte(offset, request.values[bit]);
    }
}

std::vector<tagLIST_ROW> BuildSensorRows(const CSensor& sensor)
{
    const bool threshold = GetEventTypeClass(sensor.GetEventType()) == EVENT_CLASS_THRESHOLD;
    const DWORD data = threshold ? ROW_DATA_THRESHOLD_LIST : ROW_DATA_SENSOR_LIST;
    std::vector<tagLIST_ROW> rows;
    rows.push_back({{"Sensor ID ", std::to_string(sensor.GetRecordId())}, data, ""});
    rows.push_back({{"Sensor Name ", sensor.GetIdString()}, data, ""});
    const BYTE raw = sensor.GetRawReading();
    if (!threshold)
    {
        rows.push_back({{"Current Value ", Hex2(raw) + " ",
                         CSensor::GetDiscreteText(sensor.GetSensorType(), raw)},
                        data,
                        ""});
        return rows;
    }
    if (!sensor.HasThresholds())
        return rows;
    rows.push_back({{"Current Value ", Hex2(raw) + " ", ConvertedText(sensor, raw)}, data, ""});
    const BYTE nominal = sensor.GetByte(SDR_OFFSET_NOMINAL);
    rows.push_back(
        {{"Theory Value ", Hex2(nominal) + " ", ConvertedText(sensor, nominal)}, data, ""});
    for (int row = THRESHOLD_FIRST_ROW; row <= THRESHOLD_LAST_ROW; ++row)
    {
        const BYTE value = sensor.GetByte(ThresholdRowOffset(row));
        rows.push_back(
            {{kThresholdLabels[RowIndex(row)], Hex2(value), ConvertedText(sensor, value)},
             data,
             ""});
    }
    return rows;
}

void CCustomLV::SetSensor(const CSensor& sensor, BYTE serverTag)
{
    m_sensor = sensor;
    m_tag = serverTag;
    m_rows = BuildSensorRows(sensor);
    for (int row = THRESHOLD_FIRST_ROW; row <= THRESHOLD_LAST_ROW; ++row)
    {
        tagTHRESHOLD_EDITOR& editor = m_editors[RowIndex(row)];
        if (editor.exists && row < static_cast<int>(m_rows.size()))
        {
            editor.text = std::to_string(m_sensor.GetByte(ThresholdRowOffset(row)));
            editor.startText = editor.text;
            editor.spinPosition = m_sensor.GetByte(ThresholdRowOffset(row));
        }
    }
    Show(m_shown);
}

void CCustomLV::Show(BOOL thresholdList)
{
    const bool list = thresholdList && !m_rows.empty() &&
                      m_rows[0].itemData == ROW_DATA_THRESHOLD_LIST && m_sensor.HasThresholds();
    m_shown = thresholdList;
    m_moreVisible = thresholdList && !m_rows.empty();
    for (int row = THRESHOLD_FIRST_ROW; row <= THRESHOLD_LAST_ROW; ++row)
        m_editors[RowIndex(row)].visible = list && IsThresholdEditable(m_sensor, row);
}

void CCustomLV::Paint()
{
    if (m_rows.empty() || m_rows[0].itemData != ROW_DATA_THRESHOLD_LIST)
        return;
    for (int row = THRESHOLD_FIRST_ROW; row <= THRESHOLD_LAST_ROW; ++row)
    {
        if (row >= static_cast<int>(m_rows.size()))
            break;
        tagTHRESHOLD_EDITOR& editor = m_editors[RowIndex(row)];
        if (!editor.exists)
        {
            editor.exists = true;
            editor.wraps = row >= 7;
            // The editor shows the decimal value of the cell's hexadecimal text.
            unsigned value = 0;
            std::sscanf(m_rows[row].cells[1].c_str(), "0x%X", &value);
            editor.text = std::to_string(value & 0xFF);
            editor.startText = editor.text;
        }
        editor.spinPosition = ParseThresholdText(editor.text);
    }
}

const tagTHRESHOLD_EDITOR& CCustomLV::Editor(int row) const
{
    static const tagTHRESHOLD_EDITOR none;
    return IsThresholdRow(row) ? m_editors[RowIndex(row)] : none;
}

void CCustomLV::BeginEdit(int row)
{
    if (IsThresholdRow(row))
        m_editors[RowIndex(row)].startText = m_editors[RowIndex(row)].text;
}

void CCustomLV::RefreshRow(int row, BYTE raw)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || m_rows[row].cells.size() < 3)
        return;
    m_rows[row].cells[1] = Hex2(raw);
    m_rows[row].cells[2] = ConvertedText(m_sensor, raw);
}

void CCustomLV::OnEditChange(int row, const std::string& text)
{
    if (!IsThresholdRow(row))
        return;
    m_editors[RowIndex(row)].text = text;
    RefreshRow(row, ParseThresholdText(text));
}

tagTHRESHOLD_OUTCOME CCustomLV::OnEditEnd(int row, const std::string& text, BYTE sensorNumber,
                                          const ThresholdSender& send, IMessageBoxService& boxes)
{
    tagTHRESHOLD_OUTCOME outcome;
    if (!IsThresholdRow(row) || row >= static_cast<int>(m_rows.size()) ||
        text == m_editors[RowIndex(row)].startText)
        return outcome;
    outcome.attempted = true;
    const BYTE raw = ParseThresholdText(text);
    outcome.failedChecks = CheckThreshold(m_sensor, row, raw);
    for (const std::string& message : outcome.failedChecks)
        boxes.MessageBox(message, THRESHOLD_INVALID_CAPTION, MB_OK);
    if (outcome.failedChecks.empty())
    {
        outcome.request.sensorNumber = sensorNumber;
        AddThreshold(outcome.request, ControllerOffset(m_sensor, row), raw);
        outcome.sent = true;
        outcome.succeeded = send && send(outcome.request) == 0;
        if (outcome.succeeded)
            boxes.MessageBox(SET_THRESHOLD_SUCCEEDED, SET_THRESHOLD_CAPTION,
                             MB_OK | MB_ICONINFORMATION);
        else
            boxes.MessageBox(SET_THRESHOLD_FAILED, SET_THRESHOLD_CAPTION, MB_OK | MB_ICONERROR);
    }
    // The row follows the controller: the new value after a success, else the old one.
    BYTE values[THRESHOLD_COUNT] = {};
    const int bit = ThresholdRowBit(row);
    values[bit] = outcome.succeeded ? raw : m_sensor.GetByte(ThresholdRowOffset(row));
    UpdateThresholdRow(values, static_cast<BYTE>(1u << bit));
    return outcome;
}

void CCustomLV::UpdateThresholdRow(const BYTE values[THRESHOLD_COUNT], BYTE mask)
{
    for (int bit = 0; bit < THRESHOLD_COUNT; ++bit)
    {
        if (!(mask & (1u << bit)))
            continue;
        const int row = 9 - bit;
        m_sensor.SetByte(ThresholdRowOffset(row), values[bit]);
        RefreshRow(row, values[bit]);
        tagTHRESHOLD_EDITOR& editor = m_editors[RowIndex(row)];
        editor.text = std::to_string(values[bit]);
        editor.startText = editor.text;
        editor.spinPosition = values[bit];
    }
}

CSDRPropSheet::CSDRPropSheet(std::string title, const CSensor& sensor)
    : m_title(std::move(title)), m_sensor(sensor)
{
    for (int i = 0; i < THRESHOLD_COUNT; ++i)
    {
        tagSDR_SPIN& spin = m_spins[i];
        spin.row = THRESHOLD_FIRST_ROW + i;
        spin.label = kSpinLabels[i];
        spin.visible = m_sensor.HasThresholds() && IsThresholdEditable(m_sensor, spin.row);
        spin.position = m_sensor.GetByte(ThresholdRowOffset(spin.row));
        spin.convertedText = ConvertedText(m_sensor, static_cast<BYTE>(spin.position));
    }
}

std::vector<std::string> CSDRPropSheet::PageTitles()
{
    return {"Information", "Settings", "Capabilities"};
}

namespace
{
std::string FixedValue(const CSensor& sensor, BYTE raw)
{
    tagSENSOR_VALUE value;
    sensor.ConvertRaw(raw, value);
    char text[80];
    std::snprintf(text, sizeof text, "%.2f %s", static_cast<double>(value.value), value.units);
    return text;
}
} // namespace

tagSDR_INFO_PAGE CSDRPropSheet::InfoPage() const
{
    tagSDR_INFO_PAGE page;
    page.sensorName = m_sensor.GetIdString();
    page.status = m_sensor.GetStateText();
    page.currentValue = FixedValue(m_sensor, m_sensor.GetRawReading());
    page.sensorType = m_sensor.GetSensorTypeText();
    page.recordId = std::to_string(m_sensor.GetRecordId());
    page.sdrVersion = m_sensor.GetSdrVersionText();
    return page;
}

std::string CSDRPropSheet::SettingsCurrentValue() const
{
    return FixedValue(m_sensor, m_sensor.GetRawReading());
}

void CSDRPropSheet::SetSpin(int index, int position)
{
    if (index < 0 || index >= THRESHOLD_COUNT)
        return;
    tagSDR_SPIN& spin = m_spins[index];
    spin.position = std::clamp(position, spin.minimum, spin.maximum);
    spin.convertedText = ConvertedText(m_sensor, static_cast<BYTE>(spin.position));
    spin.changed = spin.position != m_sensor.GetByte(ThresholdRowOffset(spin.row));
}

std::vector<tagSDR_CAP_ITEM> CSDRPropSheet::CapabilitiesPage() const
{
    auto item = [&](const char* name, std::size_t offset)
    {
        WORD mask = static_cast<WORD>(m_sensor.GetByte(offset) | m_sensor.GetByte(offset + 1) << 8);
        return tagSDR_CAP_ITEM{name, mask, mask ? "set" : "clear"};
    };
    return {item("Assertion Evnet Mask", SDR_OFFSET_ASSERTION_MASK),
            item("Deassertion Evnet Mask", SDR_OFFSET_DEASSERTION_MASK),
            item("Reading Mask", SDR_OFFSET_READING_MASK)};
}

BOOL CSDRPropSheet::OnOK(BYTE sensorNumber, const ThresholdSender& send, IMessageBoxService& boxes,
                         tagTHRESHOLD_REQUEST* sentRequest)
{
    tagTHRESHOLD_REQUEST request;
    request.sensorNumber = sensorNumber;
    for (const tagSDR_SPIN& spin : m_spins)
        if (spin.changed)
            AddThreshold(request, ControllerOffset(m_sensor, spin.row),
                         static_cast<BYTE>(spin.position));
    if (sentRequest)
        *sentRequest = request;
    if (request.mask == 0)
        return TRUE;
    if (!send || send(request) != 0)
    {
        boxes.MessageBox(SET_THRESHOLD_FAILED, SET_THRESHOLD_CAPTION, MB_OK | MB_ICONERROR);
        return FALSE;
    }
    for (tagSDR_SPIN& spin : m_spins)
        if (spin.changed)
        {
            m_sensor.SetByte(ThresholdRowOffset(spin.row), static_cast<BYTE>(spin.position));
            spin.changed = false;
        }
    return TRUE;
}
