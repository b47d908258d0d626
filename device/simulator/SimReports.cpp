// The simulated register's X report, its reports by hours and the erasing
// of its periodic reports, answered from the sales figures in its memory.
#include "device/simulator/SimText.h"
#include "device/simulator/Simulator.h"

namespace sim {

namespace {

const char* const TextBadRange = "Невірний діапазон";
const char* const TextNoData = "Кінець даних";

std::vector<uint8_t> RawLine(const HourLine& line, int size) {
    ByteWriter w;
    w.U16(line.saleReceipts);
    w.U16(line.refundReceipts);
    w.U32(line.saleSum);
    w.U32(line.refundSum);
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

std::vector<uint8_t> RawLine(const PeriodicHourLine& line, int size) {
    ByteWriter w;
    w.U32(line.saleReceipts);
    w.U32(line.refundReceipts);
    w.U64(static_cast<uint64_t>(line.saleSum));
    w.U64(static_cast<uint64_t>(line.refundSum));
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

// The lines a batch hands out: the 24 hours, cut or padded with empty lines
// when a scenario asks for another count.
template <class Line>
std::vector<std::vector<uint8_t>> HourLines(const std::array<Line, 24>& hours, int count, int size) {
    std::vector<std::vector<uint8_t>> lines;
    for (int h = 0; h < count; ++h)
        lines.push_back(RawLine(h < 24 ? hours[static_cast<std::size_t>(h)] : Line{}, size));
    return lines;
}

} // namespace

uint8_t Simulator::GetDataXReport(Q710XReportData* report, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (report == nullptr) return FailUtf8(err, StatusBadValue, "Невірне значення параметра");
    *report = memory_.xReport;
    report->shiftStart = ShiftStartDays(memory_.sales);
    return Ok(err);
}

template <class Line, class Count, class Sum>
uint8_t Simulator::HourReport(const std::array<Line, 24>& hours, int layoutSize, Count* saleReceipts,
                              Count* refundReceipts, Sum* saleSum, Sum* refundSum, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (!saleReceipts || !refundReceipts || !saleSum || !refundSum)
        return FailUtf8(err, StatusBadValue, "Невірне значення параметра");
    if (uint8_t status; BatchStartFaulted(err, status)) return status;
    const int size = scenario_.HourRecordSize(layoutSize);
    std::vector<std::vector<uint8_t>> lines = HourLines(hours, scenario_.HourLines(), size);
    if (lines.empty()) return FailUtf8(err, Q710_END_OF_DATA, TextNoData);
    *saleReceipts = hours[0].saleReceipts;
    *refundReceipts = hours[0].refundReceipts;
    *saleSum = hours[0].saleSum;
    *refundSum = hours[0].refundSum;
    lines.erase(lines.begin());
    cursor_.Open(std::move(lines), size, Q710_END_OF_DATA);
    if (auto end = scenario_.EarlyEnd()) cursor_.EndAfter(end->first, end->second);
    return Ok(err);
}

uint8_t Simulator::GetXReportByHours(int32_t, uint16_t* saleReceipts, uint16_t* refundReceipts,
                                     uint32_t* saleSum, uint32_t* refundSum, const char** err) {
    return HourReport(memory_.hours, Q710_RAW_HOURLY_LINE_SIZE, saleReceipts, refundReceipts, saleSum,
                      refundSum, err);
}

uint8_t Simulator::GetPeriodicXReportByHours103(int32_t, uint32_t* saleReceipts, uint32_t* refundReceipts,
                                                int64_t* saleSum, int64_t* refundSum, const char** err) {
    return HourReport(memory_.periodicHours, Q710_RAW_PERIODIC_HOURLY_LINE_SIZE, saleReceipts, refundReceipts,
                      saleSum, refundSum, err);
}

uint8_t Simulator::ErasePeriodicXReportByHours103(const char** err) {
    if (!LinkUp()) return NoLink(err);
    memory_.periodicHours = {};
    Changed();
    return Ok(err);
}

uint8_t Simulator::EraseGoodsPeriod(const std::function<bool(const Goods&)>& select, const char** err) {
    GoodsBase& base = memory_.goods;
    for (const Goods* g : base.Select(0, [&](const Goods& g) { return g.InPeriod() && select(g); })) {
        Goods copy = *g;
        copy.period = {};
        base.Put(copy.number, std::move(copy));
    }
    Changed();
    return Ok(err);
}

uint8_t Simulator::ErasePeriodicReportByGoodsCode103(int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode,
                                                     int64_t lastBarcode, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (firstPlu < 0 || firstPlu > lastPlu || lastPlu > MaxPlu || firstBarcode < 0 ||
        firstBarcode > lastBarcode || lastBarcode > MaxBarcode)
        return FailUtf8(err, StatusBadValue, TextBadRange);
    return EraseGoodsPeriod(
        [&](const Goods& g) {
            return g.plu >= firstPlu && g.plu <= lastPlu && g.barcode >= firstBarcode &&
                   g.barcode <= lastBarcode;
        },
        err);
}

uint8_t Simulator::ErasePeriodicReportByGoodsGroup103(int32_t firstGroup, int32_t lastGroup,
                                                      const char** err) {
    if (!LinkUp()) return NoLink(err);
    const bool all = firstGroup == 0 && lastGroup == 0;
    if (!all && (firstGroup < 1 || firstGroup > lastGroup || lastGroup > 100))
        return FailUtf8(err, StatusBadValue, TextBadRange);
    return EraseGoodsPeriod(
        [&](const Goods& g) { return all || (g.group >= firstGroup && g.group <= lastGroup); }, err);
}

} // namespace sim
