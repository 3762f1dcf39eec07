#pragma once

// The account of one update cycle as the operators read it: the line the service manager shows
// beside the state, and the system log's entry with its fields.

#include <string>
#include <vector>

#include "platform/EventLog.h"
#include "service/CycleOutcome.h"

namespace vr {

// "last cycle 2024-03-10 09:15:00: applied, ...; next cycle at 2024-03-10 12:15:00"
std::string CycleSummary(const TRelatorioCiclo& report);

// The system log's entry for the cycle: its severity, outcome, message and fields (notable is
// NotableCycles' to decide). The fields' order is the order of the Windows message table's
// inserts after the message.
using CycleEntry = EventLog::CycleEntry;
CycleEntry CycleLogEntry(const TRelatorioCiclo& report);

}  // namespace vr
