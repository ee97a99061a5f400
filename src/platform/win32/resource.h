// Identifiers of the string table shared by the Windows resource script and
// the native build's embedded copy.
#pragma once

#define IDS_CRASH_REPORT 27009
