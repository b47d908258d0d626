// What a password costs: the big workbook (65,536 rows by 16 columns, half
// numbers, half texts, as `xlsbench write big` makes it) written and read
// without and with a password. Arg 0 is plain, 1 encrypted; the encrypted
// runs should stay within 30 % of the plain ones.
#include "SrcXLS/Tabrix4.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace xls;

std::u16string Text(int n) {
    std::u16string t = u"S";
    for (const char c : std::to_string(n)) t.push_back(char16_t(c));
    return t;
}

void FillBig(TTabrix4& book) {
    TSheet& sheet = book.GetSheet(0);
    for (int r = 0; r < 65536; ++r)
        for (int c = 0; c < 16; ++c) {
            const int n = r * 16 + c;
            if (c < 8)
                sheet.SetAsFloat(c, r, n * 0.5);
            else
                sheet.SetAsString(c, r, Text(n % 314573));
        }
}

std::filesystem::path File(bool encrypted) {
    return std::filesystem::temp_directory_path() /
           (encrypted ? "bench_xls_encryption_on.xls" : "bench_xls_encryption_off.xls");
}

const std::u16string Password = u"Каса 2024";

void BM_WriteBig(benchmark::State& state) {
    const bool encrypted = state.range(0) != 0;
    TTabrix4 book;
    FillBig(book);
    book.Password = encrypted ? Password : u"";
    book.SetFilename(File(encrypted).u16string());
    for (auto _ : state) book.Write();
}
BENCHMARK(BM_WriteBig)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadBig(benchmark::State& state) {
    const bool encrypted = state.range(0) != 0;
    {
        TTabrix4 book;
        FillBig(book);
        book.Password = encrypted ? Password : u"";
        book.SetFilename(File(encrypted).u16string());
        book.Write();
    }
    for (auto _ : state) {
        TTabrix4 book;
        book.Password = encrypted ? Password : u"";
        book.SetFilename(File(encrypted).u16string());
        book.Read();
        benchmark::DoNotOptimize(book.GetSheet(0).Cells().Count());
    }
    std::filesystem::remove(File(encrypted));
}
BENCHMARK(BM_ReadBig)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
