#include "exchange/ExchangeJob.h"

#include <memory>

#include "exchange/Dispatcher.h"
#include "exchange/JobSide.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/ui/Ui.h"

namespace exchange {

JobOutcome RunJob(console::ConsoleState& state, uint8_t operationKind) {
    JobSide& side = Side();
    // The program's dialogs when they exist, else ones made for this job.
    std::unique_ptr<TForm5> ownForm5;
    std::unique_ptr<TForm4> ownForm4;
    if (side.Form5 == nullptr) ownForm5 = std::make_unique<TForm5>(state);
    TForm5& form5 = ownForm5 ? *ownForm5 : *side.Form5;

    state.MakeMetod.OperationKind = operationKind;
    state.DialogAccepted = 0; // a closed choice is no confirmation
    state.ExportChanges.clear();
    side.FileWritten = false;
    platform::ShowModal(form5);

    JobOutcome outcome;
    outcome.accepted = state.DialogAccepted == 1;
    if (outcome.accepted) {
        if (side.Form4 == nullptr) ownForm4 = std::make_unique<TForm4>(state);
        platform::ShowModal(ownForm4 ? *ownForm4 : *side.Form4);
        outcome.done = state.MakeMetod.Done == 1;
        outcome.fileWritten = side.FileWritten;
    }
    return outcome;
}

bool RunExportJob(console::ConsoleState& state, uint8_t operationKind) {
    JobOutcome outcome = RunJob(state, operationKind);
    return outcome.done && outcome.fileWritten;
}

bool RunImportJob(console::ConsoleState& state, uint8_t operationKind) {
    return RunJob(state, operationKind).done;
}

bool RunExchangeJob(console::ConsoleState& state) {
    uint8_t kind = state.MakeMetod.OperationKind;
    return IsImportKind(kind) ? RunImportJob(state, kind) : RunExportJob(state, kind);
}

} // namespace exchange
