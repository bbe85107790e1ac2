// Header groups: a name and up to 24 entries in insertion order.
#include <cstdlib>
#include <cstring>

#include "qvascii_int.h"

void qvascii_group_init(qvascii_group *g) {
    g->name = nullptr;
    for (qvascii_entry &e : g->entries)
        qvascii_entry_init(&e);
}

void qvascii_group_cleanup(qvascii_group *g) {
    if (!g) return;
    for (qvascii_entry &e : g->entries) {
        if (!e.key) break;
        qvascii_entry_cleanup(&e);
        std::free(e.key);
        e.key = nullptr;
    }
}

qvascii_entry *qvascii_group_get(const qvascii_group *g, const char *key) {
    if (!g || !key) return nullptr;
    for (const qvascii_entry &e : g->entries) {
        if (!e.key) break;
        if (std::strcmp(e.key, key) == 0) return const_cast<qvascii_entry *>(&e);
    }
    return nullptr;
}

qvascii_entry *qvascii_group_set(qvascii_group *g, const char *key) {
    if (!g || !key) return nullptr;
    for (qvascii_entry &e : g->entries) {
        if (!e.key) {
            e.key = qvascii_dup(key, std::strlen(key));
            e.value = nullptr;
            return e.key ? &e : nullptr;
        }
        if (std::strcmp(e.key, key) == 0) return &e;
    }
    return nullptr;
}
