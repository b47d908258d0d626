// The register's electronic journal made from its recorded sales: each
// shift's documents form its journals (a new journal starts at each break),
// serialised as the stream GetJournal hands out in 128-byte blocks, and the
// 178-byte Z report of GetReport. Damage on request for the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/Q710Api.h"
#include "device/simulator/Sales.h"

namespace sim {

inline constexpr std::size_t JournalBlockBytes = 128;
inline constexpr std::size_t ZReportBytes = 178;

// One journal: documents [begin, end) of a shift.
struct JournalRef {
    const Shift* shift = nullptr;
    uint8_t inShift = 1; // the journal's number within its shift
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Every journal kept, oldest first (the register numbers them from 1).
std::vector<JournalRef> JournalsOf(const SalesState& sales);

// A document as the stream holds it: the 9-byte header and the body.
std::vector<uint8_t> DocumentBytes(const JournalDocument& doc);

// What a scenario asks the journal and the Z report to look like instead.
struct JournalDamage {
    struct BodyLength {
        std::size_t document = 0;
        uint16_t length = 0;
    };
    struct RecordLength {
        std::size_t document = 0;
        std::size_t record = 0;
        uint8_t length = 0;
    };
    std::optional<BodyLength> bodyLength;     // a document's header gives this length
    std::optional<RecordLength> recordLength; // a receipt record's length byte
    std::optional<std::size_t> cut;           // the stream ends after these bytes, without its end mark
    bool noEnd = false;                       // no end mark after the last document
    uint8_t pad = 0;                          // the filling of the last block
    bool endless = false;                     // blocks of filling follow forever, never the last one
    std::optional<uint16_t> zLength;          // the Z report's body length
    std::optional<uint8_t> zType;             // and its type

    bool Any() const {
        return bodyLength || recordLength || cut || noEnd || pad != 0 || endless || zLength || zType;
    }
    std::string Describe() const;
};

// The journal's stream: its documents, the end mark 0xFFFF, damaged as asked
// (the filling of the last block is not part of it).
std::vector<uint8_t> JournalStream(const JournalRef& journal, const JournalDamage& damage);
// The stream cut into whole blocks, the last filled with the damage's byte.
std::vector<std::vector<uint8_t>> JournalBlocks(const std::vector<uint8_t>& stream, uint8_t pad);

// Its parameters: shift, journal in the shift, the control tape's bytes
// (every document but service information) and the PC information's bytes.
Q710JournalParams ParamsOf(const JournalRef& journal);
// Bytes of every journal kept.
uint64_t JournalBytesUsed(const SalesState& sales);

// The GetReport answer of a Z report.
std::vector<uint8_t> ZReportBuffer(const ZReport& z, const JournalDamage& damage);

} // namespace sim
