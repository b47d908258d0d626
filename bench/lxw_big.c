/* The "big" workload of xlsbench written with libxlsxwriter in its
 * constant-memory mode: the yardstick of the .xlsx writer's speed and
 * memory, run as a whole process beside "xlsbench write big FILE.xlsx".
 *   lxw_big FILE.xlsx */
#include <stdio.h>
#include <xlsxwriter.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: lxw_big FILE.xlsx\n");
        return 2;
    }
    lxw_workbook_options options = {.constant_memory = LXW_TRUE, .tmpdir = NULL};
    lxw_workbook* book = workbook_new_opt(argv[1], &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, NULL);
    char text[32];
    for (int r = 0; r < 65536; ++r)
        for (int c = 0; c < 16; ++c) {
            const int n = r * 16 + c;
            if (c < 8) {
                worksheet_write_number(sheet, r, c, n * 0.5, NULL);
            } else {
                snprintf(text, sizeof text, "S%d", n % 314573);
                worksheet_write_string(sheet, r, c, text, NULL);
            }
        }
    return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}
