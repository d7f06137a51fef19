#include "asf/AsfStates.h"

namespace
{
struct tagSTATE_ROW
{
    const char* text;
    int power;
};

const tagSTATE_ROW STATES[16] = {
    {"working(S0)", 1},
    {"sleeping with system h/w & processor context maintained(S1)", 1},
    {"sleeping, processor context lost(S2)", 1},
    {"sleeping, processor & h/w context lost, memory retained(S3)", 0},
    {"non-volatile sleep / suspend-to disk(S4)", 0},
    {"soft-off(S5/G2)", 0},
    {"soft-off, particular S4/S5 state cannot be determined(S4/S5)", 0},
    {"Mechanical Off(G3)", 0},
    {"Sleeping in an S1, S2, or S3 states", 1},
    {"sleep(G1)", 2},
    {"entered by override(S5)", 0},
    {"Legacy ON state", 1},
    {"Legacy OFF state", 0},
    {"Undefine", 2},
    {"Unknown", 2},
    {"Reserved for future definition", 2},
};

const char* const WATCHDOG[2] = {"Watchdog Timer not Expired", "Watchdog Timer Expired"};
} // namespace

const char* AsfSystemStateText(BYTE state)
{
    return STATES[state & 0x0F].text;
}

const char* AsfWatchdogText(BYTE watchdog)
{
    return WATCHDOG[watchdog & 0x01];
}

int AsfPowerIndication(BYTE state)
{
    return STATES[state & 0x0F].power;
}
