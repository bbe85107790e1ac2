// Accessors of the 256-byte header record.
#include "qv5k_internal.h"

std::uint32_t qv5k_header_filetype(const qv5k_header *header) {
    switch (header->rec_mode) {
    case QV5K_RECMODE_EVENT: return QV5K_FILETYPE_XQV;
    case QV5K_RECMODE_BACK3:
    case QV5K_RECMODE_BACK4:
    case QV5K_RECMODE_BACK6: return QV5K_FILETYPE_BQV;
    default: return QV5K_FILETYPE_UNKNOWN;
    }
}

std::uint32_t qv5k_header_nsamples(const qv5k_header *header) {
    return qv5k_get_uint32(header->nsamples);
}

std::size_t qv5k_header_nchannels(const qv5k_header *header) {
    switch (header->rec_mode) {
    case QV5K_RECMODE_EVENT:
    case QV5K_RECMODE_BACK3: return 3;
    case QV5K_RECMODE_BACK4: return 4;
    case QV5K_RECMODE_BACK6: return 6;
    default: return 0;
    }
}
