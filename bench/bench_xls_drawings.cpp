// Drawings: a workbook with 1,000 pictures of 20 KB (each in a picture frame)
// and 10,000 cell notes, written to a BIFF8 file and read back.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

namespace {

using namespace xls;

constexpr int Pictures = 1000;
constexpr int Notes = 10000;
constexpr size_t PictureSize = 20 * 1024;

void Build(TTabrix4& book) {
    std::mt19937 gen(7);
    TEscherDrawing& drawing = book.GetSheet(0).Drawing();
    for (int i = 0; i < Pictures; ++i) {
        std::vector<uint8_t> data(PictureSize);
        for (auto& b : data) b = uint8_t(gen());
        auto picture = std::make_unique<TMSOPicture>();
        picture->LoadFromBytes(std::move(data), u"picture.png", pictype::PNG);
        book.Pictures().Insert(std::move(picture));
        TShapeClientAnchor& frame = drawing.AddPicture();
        frame.Opt.BlipRef()->Value = uint32_t(i + 1);
        frame.Anchor.Row1 = i * 8;
        frame.Anchor.Row2 = i * 8 + 6;
    }
    for (int i = 0; i < Notes; ++i) {
        TShapeClientAnchor& shape = drawing.AddNote();
        TShapeOutsideMsoNote* note = TEscherDrawing::NoteOf(shape);
        note->Col = uint32_t(i % 20);
        note->Row = uint32_t(i / 20);
        note->Author = u"Касир";
        note->SetText(u"Перевірити залишок товару №" + std::u16string(1, char16_t(u'0' + i % 10)));
    }
}

std::filesystem::path File() {
    return std::filesystem::temp_directory_path() / "bench_xls_drawings.xls";
}

void BM_WriteDrawings(benchmark::State& state) {
    TTabrix4 book;
    Build(book);
    book.SetFilename(File().u16string());
    for (auto _ : state) book.Write();
    state.counters["bytes"] = double(std::filesystem::file_size(File()));
}
BENCHMARK(BM_WriteDrawings)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadDrawings(benchmark::State& state) {
    {
        TTabrix4 book;
        Build(book);
        book.SetFilename(File().u16string());
        book.Write();
    }
    for (auto _ : state) {
        TTabrix4 book;
        book.SetFilename(File().u16string());
        book.Read();
        if (book.Pictures().Count() != Pictures ||
            book.GetSheet(0).Drawing().ShapeCount() != Pictures + Notes)
            state.SkipWithError("the drawing did not come back");
    }
    std::filesystem::remove(File());
}
BENCHMARK(BM_ReadDrawings)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
