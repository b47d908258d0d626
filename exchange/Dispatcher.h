// The job window's dispatch: one procedure per pair (format, operation kind).
#pragma once

#include <cstdint>

#include "exchange/JobSide.h"

namespace exchange {

inline constexpr int OperationKindCount = 10; // kinds 1..10

using JobProcedure = void (*)(JobContext&);

// A cell of the dispatch table: the procedure's name (with its argument, as
// "ImportGoodsCsv(true)") and the procedure.
struct DispatchEntry {
    const char* name;
    JobProcedure run;
};

// The entry of a pair; null for a kind outside 1..10 or a format outside 0..3.
const DispatchEntry* FindProcedure(int formatIndex, int operationKind);

enum class DispatchResult {
    Ran,          // the procedure returned
    NothingToRun, // no pair: the kind or the format is out of range
    Failed,       // the procedure raised; the user was shown why
};

// Kinds that import goods and so leave a duplicate-PLU log.
bool IsGoodsImportKind(int operationKind);
// Kinds whose file is chosen in the format choice, before the job.
bool IsImportKind(int operationKind);

// Runs the pair's procedure, then, whatever it did, writes the duplicate-PLU
// log after goods imports and empties GoodsDupCheck. Nothing raised by the
// procedure or the log leaves this function: it is shown to the user.
DispatchResult Dispatch(JobContext& job, int formatIndex, int operationKind);

} // namespace exchange
