// The reading formula and the numeric and units texts of a converted reading
// (IPMI v1.5, 30.3 "Sensor Reading Conversion Formula"; 37.1 for the fields).
#include "servers/Sensor.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

namespace
{
enum : BYTE
{
    FORMAT_UNSIGNED = 0,
    FORMAT_ONES_COMPLEMENT = 1,
    FORMAT_TWOS_COMPLEMENT = 2,
    FORMAT_NO_ANALOG = 3,
};

enum : BYTE
{
    LINEAR = 0x00,
    LN = 0x01,
    LOG10 = 0x02,
    LOG2 = 0x03,
    EXP_E = 0x04,
    EXP_10 = 0x05,
    EXP_2 = 0x06,
    RECIPROCAL = 0x07,
    SQUARE = 0x08,
    CUBE = 0x09,
    SQRT = 0x0A,
    CUBE_ROOT = 0x0B,
};

// 10^k by repeated multiplication, the reciprocal for negative k.
long double PowerOfTen(int k)
{
    long double p = 1.0L;
    for (int i = 0; i < (k < 0 ? -k : k); ++i)
        p *= 10.0L;
    return k < 0 ? 1.0L / p : p;
}

long double Linearize(BYTE code, long double y)
{
    switch (code)
    {
    case LN:
        return std::log(y);
    case LOG10:
        return std::log10(y);
    case LOG2:
        return std::log(y) / std::log(2.0L);
    case EXP_E:
        return std::exp(y);
    case EXP_10:
        return std::pow(10.0L, y);
    case EXP_2:
        return std::pow(2.0L, y);
    case RECIPROCAL:
        return 1.0L / y;
    case SQUARE:
        return y * y;
    case CUBE:
        return y * y * y;
    case SQRT:
        return std::sqrt(y);
    case CUBE_ROOT:
        return std::exp(std::log(y) / 3.0L);
    default: // linear, and the non-linear codes 70h-7Fh, which have no formula here
        return y;
    }
}

// Rounds to single precision; values beyond float range become infinities instead of
// the undefined conversion of an out-of-range value.
float ToFloat(long double v)
{
    if (std::isfinite(v) && std::fabs(v) > static_cast<long double>(FLT_MAX))
        return v < 0 ? -HUGE_VALF : HUGE_VALF;
    return static_cast<float>(v);
}

const char* const RATE_UNITS[8] = {"", "uS", "ms", "s", "minute", "hour", "day", ""};
} // namespace

BOOL ConvertReading(const tagSENSOR_FACTORS& factors, BYTE raw, float& value)
{
    long x = 0;
    switch (factors.analogFormat)
    {
    case FORMAT_UNSIGNED:
        x = raw;
        break;
    case FORMAT_ONES_COMPLEMENT:
        x = (raw & 0x80) ? -static_cast<long>(0xFF - raw) : raw;
        break;
    case FORMAT_TWOS_COMPLEMENT:
        x = static_cast<signed char>(raw);
        break;
    default:
        value = raw;
        return FALSE;
    }
    long double y = (static_cast<long double>(factors.m * x) +
                     static_cast<long double>(factors.b) * PowerOfTen(factors.k1)) *
                    PowerOfTen(factors.k2);
    float linear = ToFloat(y);
    value = ToFloat(Linearize(factors.linearization, linear));
    return TRUE;
}

std::string FormatNumericText(BYTE sensorType, float value)
{
    if (!std::isfinite(value))
        return "N/A";
    std::string text;
    double magnitude = value;
    if (magnitude < 0)
    {
        text = "-";
        magnitude = -magnitude;
    }
    double whole = std::trunc(magnitude);
    double fraction = magnitude - whole;
    bool voltage = sensorType == SENSOR_TYPE_VOLTAGE;
    char digits[64];
    if (whole == 0)
        text += voltage ? "0." : "0";
    else
    {
        std::snprintf(digits, sizeof digits, "%.0f", whole);
        text += digits;
        if (voltage)
            text += ".";
    }
    if (voltage)
        text += static_cast<char>('0' + static_cast<int>(fraction * 10));
    return text;
}

std::string BuildUnitsText(BYTE units1, BYTE baseUnit, BYTE modifierUnit)
{
    std::string text;
    unsigned rate = units1 >> 3 & 0x07;
    unsigned relation = units1 >> 1 & 0x03;
    if (baseUnit == 0x01 || baseUnit == 0x04 || baseUnit == 0x12)
        text = GetUnitName(baseUnit);
    else if (rate != 0)
        text = std::string("per ") + RATE_UNITS[rate];
    else if (relation != 0)
    {
        if (baseUnit != 0)
            text = GetUnitName(baseUnit);
        if (modifierUnit != 0)
        {
            if (baseUnit != 0)
                text += relation == 1 ? "/" : "*";
            text += GetUnitName(modifierUnit);
        }
    }
    if (units1 & 0x01)
        text += "%";
    return text;
}

std::string FormatSensorValue(BYTE sensorType, const tagSENSOR_VALUE& value)
{
    char text[128];
    if (!std::isfinite(value.value))
        std::snprintf(text, sizeof text, "N/A %s", value.units);
    else if (sensorType == SENSOR_TYPE_TEMPERATURE)
        std::snprintf(text, sizeof text, "%.1f %s", value.value, value.units);
    else if (sensorType == SENSOR_TYPE_FAN)
        std::snprintf(text, sizeof text, "%.0f %s", std::trunc(value.value) + 0.0, value.units);
    else
        std::snprintf(text, sizeof text, "%.2f %s", value.value, value.units);
    return text;
}

std::string FormatGaugeValue(const tagSENSOR_VALUE& value)
{
    char text[128];
    std::snprintf(text, sizeof text, "%6g %s", value.value, value.units);
    return text;
}
