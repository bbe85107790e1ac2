#include "usage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"

void usage_exit(const char *argv0, const char *text) {
    const char *base = argv0 && *argv0 ? argv0 : "?";
    if (const char *slash = std::strrchr(base, '/')) base = slash + 1;
    std::printf("%s - version " QV_VERSION ", <qvconv-support@example.org>\n\n", base);
    // The program's name in every place of the text that asks for it.
    for (const char *p = text; *p; p++) {
        if (p[0] == '%' && p[1] == 's') {
            std::fputs(base, stdout);
            p++;
        } else {
            std::putchar(*p);
        }
    }
    std::exit(0);
}

void wrong_usage_exit() {
    log_err("Wrong usage, please invoke with --help for help\n");
    std::exit(1);
}
