// qvconv: converts vibration records between the raw, ASCII and
// recorder-binary formats, one file or a whole directory.
#include "convert.h"
#include "log.h"
#include "options.h"
#include "qvfmt.h"

int main(int argc, char **argv) {
    options opts;
    options_init(argc, argv, &opts);

    convert_header_only = opts.header;
    repair_header = opts.repair;
    unlink_input_file = opts.unlink;
    testing_mode = opts.test;
    process_subdirectories = opts.recursive;
    interrupts_install();

    if (opts.in_file) {
        if (opts.debug) log_dbg_file = 1;
        return process_file(opts.in_file, opts.out_file) == 0 ? 0 : 1;
    }

    if (opts.debug) log_dbg_dir = 1;
    unsigned fmt = qvfmt_extension_to_format(opts.format);
    if (fmt == QVFMT_UNKNOWN) {
        log_err("Invalid format: %s\n", opts.format);
        return 1;
    }
    // A directory that cannot be read at all is a failed run, not an empty one.
    bool unreadable = process_dir(opts.in_dir, fmt) != 0;
    log_out("-- Finished --\n");
    log_out("%u files were converted, %d failures\n", files_converted,
            static_cast<int>(files_converted - files_successfully_converted));
    if (testing_mode)
        log_out("%u files were tested, %d failures\n", files_tested,
                static_cast<int>(files_tested - files_successfully_tested));
    return unreadable || (files_converted != 0 && files_successfully_converted == 0) ? 1 : 0;
}
