// How the main window starts a job: the format choice, then, when it was
// confirmed, the job window that runs the procedure.
#pragma once

#include <cstdint>

#include "console/ConsoleState.h"

namespace exchange {

struct JobOutcome {
    bool accepted = false;    // the format choice (and an import's open dialog) was confirmed
    bool done = false;        // MakeMetod.Done is 1
    bool fileWritten = false; // an export wrote its file
};

// Sets MakeMetod.OperationKind, shows TForm5 and, when it was confirmed,
// TForm4. Uses the program's dialogs; where one does not exist, a dialog made
// for this job.
JobOutcome RunJob(console::ConsoleState& state, uint8_t operationKind);

// An export of the shared arrays (kinds 2, 5 to 10): true only when the file
// was written, so success is never reported for a cancelled choice, dialog
// or job, or a failure.
bool RunExportJob(console::ConsoleState& state, uint8_t operationKind);

// An import (kinds 1, 3, 4): true when the job ran through (Done is 1) and
// the imported records may go to the register.
bool RunImportJob(console::ConsoleState& state, uint8_t operationKind);

} // namespace exchange
