#include "console/GoodsReports.h"

#include <algorithm>

#include "console/MessageBoxes.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::Ansi;

const char* const kExportPrefix = "Q710 Експорт ";
const char* const kReportCaption = "Експорт звіту по товарам";
const char* const kNoneSold = "У товарній таблиці не знайдено\r\nжодного проданого товару!";
const char* const kNoneInMode =
    "У товарній таблиці при обраному режимі\r\nекспорту данних не знайдено жодного товару!";
const char* const kFullStop = "Ви дійсно бажаєте зупинити експорт повного звіту по товарам?";

ReadingMember Member(const char* prefix, const char* nothingFound, const char* stopQuestion,
                     const char* stopCaption, uint8_t kind) {
    ReadingMember m;
    m.titlePrefix = Ansi(prefix);
    m.nothingFoundText = Ansi(nothingFound);
    m.stopQuestion = Ansi(stopQuestion);
    m.stopCaption = Ansi(stopCaption);
    m.kind = kind;
    return m;
}

std::unique_ptr<BatchTarget> GoodsTarget(SharedArrays& arrays, ArrayTarget<GoodsStruct>::FirstCall first) {
    return std::make_unique<ArrayTarget<GoodsStruct>>(arrays.GoodsReport, Q710_RAW_GOODS_SIZE,
                                                      std::move(first), &UnpackGoodsRecord);
}

} // namespace

ReadingJob DayReportJob(const device::DeviceApi& api, SharedArrays& arrays) {
    ReadingJob job;
    job.member = Member(kExportPrefix, kNoneSold,
                        "Ви дійсно бажаєте зупинити експорт денного звіту по товарам?", kReportCaption, 9);
    job.member.countSelector = 0;
    job.member.maximumAtEnd = ReportBarMaximum;
    job.target = GoodsTarget(arrays, [&api](GoodsStruct& first, const char** err) {
        return api.GetSaleGoodsByMinNumber(0, &first, err);
    });
    return job;
}

ReadingJob PeriodicReportJob(const device::DeviceApi& api, SharedArrays& arrays) {
    ReadingJob job;
    job.member =
        Member(kExportPrefix, kNoneSold, "Ви дійсно бажаєте зупинити експорт періодичного звіту по товарам?",
               kReportCaption, 6);
    job.member.countSelector = -1;
    job.member.maximumAtEnd = ReportBarMaximum;
    job.target = std::make_unique<ArrayTarget<PeriodicGoodsStruct>>(
        arrays.PeriodicGoodsReport, Q710_RAW_PERIODIC_GOODS_SIZE,
        [&api](PeriodicGoodsStruct& first, const char** err) {
            return api.GetPeriodicReportOfGoodsByNumber(0, &first, err);
        },
        &UnpackPeriodicGoodsRecord);
    return job;
}

ReadingJob AllGoodsReportJob(const device::DeviceApi& api, SharedArrays& arrays, ProgressDisplay& display,
                             const AllGoodsOptions& options) {
    ReadingJob job;
    job.member = Member(kExportPrefix, kNoneInMode, kFullStop, kReportCaption, 5);
    job.member.lastNumber = options.lastGoodsNumber;
    auto failuresOnly = std::make_shared<int16_t>(0);
    job.member.prepare = [&api, &display, options, failuresOnly] {
        if (options.mode == 2 || options.mode == 3) {
            uint8_t nameLength = 0;
            uint16_t maxGoods = 0, programmed = 0, failures = 0;
            const char* err = nullptr;
            if (api.GetLengthGoodsName(&nameLength, &maxGoods, &programmed, &failures, &err) != Q710_OK) {
                ShowErrorText(device::DeviceText(err));
                return false;
            }
            int32_t from = options.mode == 2 ? options.firstGoodsNumber : 0;
            display.SetMaximum(std::max<int32_t>(0, maxGoods - from));
        }
        *failuresOnly = platform::MessageBox(Ansi("Читати тільки збійні записи?"), Ansi("Запитання"),
                                             QuestionBox) == platform::IdYes
                            ? int16_t(-1)
                            : int16_t(0);
        return true;
    };
    // The library takes the low 16 bits of the goods number.
    auto first = static_cast<uint16_t>(options.firstGoodsNumber);
    job.target = GoodsTarget(arrays, [&api, first, failuresOnly](GoodsStruct& record, const char** err) {
        return api.GetGoodsByNumber(first, *failuresOnly, &record, err);
    });
    return job;
}

ReadingJob RangeReportJob(const device::DeviceApi& api, SharedArrays& arrays, ProgressDisplay& display,
                          const CodeRange& range) {
    ReadingJob job;
    job.member = Member(kExportPrefix, kNoneInMode, kFullStop, kReportCaption, 5);
    job.member.prepare = [&display] {
        display.SetMaximum(RangeBarMaximum);
        return true;
    };
    job.target = GoodsTarget(arrays, [&api, range](GoodsStruct& record, const char** err) {
        return api.GetGoodsByRange(range.firstPlu, range.lastPlu, range.firstBarcode, range.lastBarcode,
                                   &record, err);
    });
    return job;
}

ReadingJob CriticalRemainsReportJob(const device::DeviceApi& api, SharedArrays& arrays, int32_t group,
                                    int32_t threshold) {
    ReadingJob job;
    job.member = Member("Q710 Експорт (критичний залишок) ",
                        "У товарній таблиці не знайдено жодного\r\nтовару, задовольняючого заданим умовам!",
                        "Ви дійсно бажаєте зупинити експорт звіту по товарам з критичним залишком?",
                        "Експорт звіту (критичний залишок)", 10);
    job.target = GoodsTarget(arrays, [&api, group, threshold](GoodsStruct& record, const char** err) {
        return api.GetGoodsWithLessQuantity(0, group, threshold, &record, err);
    });
    return job;
}

WritingMember WriteGoodsByNumberMember(const device::DeviceApi& api) {
    WritingMember m;
    m.startPrefix = Ansi("Q710 Запис бази ");
    m.recordPrefix = Ansi("Q710 Запис ");
    m.finalErrors = {0x2D, 0x96};
    m.stopQuestion = Ansi("Ви дійсно бажаєте зупинити запис товарної бази?");
    m.stopCaption = Ansi("Запис товарної бази");
    m.completionMessage = Ansi("Запис бази товарів завершений!");
    m.kind = 3;
    m.write = [&api](std::size_t index, const GoodsProg& goods, const char** err) {
        return api.SetGoodsByNumber(static_cast<uint16_t>(index), goods, err);
    };
    return m;
}

WritingMember UpdateGoodsByCodeMember(const device::DeviceApi& api) {
    WritingMember m;
    m.startPrefix = Ansi("Q710 Оновлення даних ");
    m.recordPrefix = m.startPrefix;
    m.finalErrors = {0x13, 0x2D, 0x63, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C};
    m.stopQuestion = Ansi("Ви дійсно бажаєте зупинити оновлення товарної бази?");
    m.stopCaption = Ansi("Оновлення товарної бази");
    m.completionMessage = Ansi("Оновлення даних товарної бази завершено!");
    m.kind = 4;
    m.write = [&api](std::size_t, const GoodsProg& goods, const char** err) {
        return api.SetGoodsByCode2(goods, err);
    };
    return m;
}

} // namespace console
