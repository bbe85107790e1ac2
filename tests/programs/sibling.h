// A fixture that runs the sibling programs of the build under test: qvinfo32
// and qvplot32 when QVCONV_BIN names qvconv32, qvinfo and qvplot otherwise.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

class sibling_test : public cli::test {
protected:
    static std::string program(const char *name) {
        return std::string(QV_PROGRAMS_DIR) + "/" + name + (cli::bits() == 32 ? "32" : "");
    }
    static std::string golden(const std::string &name) {
        return std::string(QV_SOURCE_DIR) + "/tests/programs/golden/" + name;
    }
    // Runs `name` with `args` in the test directory, the machine's zone `tz`.
    cli::result sibling(const char *name, const std::vector<std::string> &args,
                        const char *tz = "UTC") const {
        return run(args, {std::string("TZ=") + tz}, program(name).c_str());
    }
    cli::result info(const std::vector<std::string> &args, const char *tz = "UTC") const {
        return sibling("qvinfo", args, tz);
    }
    cli::result plot(const std::vector<std::string> &args, const char *tz = "UTC") const {
        return sibling("qvplot", args, tz);
    }
};
