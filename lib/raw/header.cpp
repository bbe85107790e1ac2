// The four read-only queries on a canonical header.
#include "qvraw.h"

#include <algorithm>

std::size_t qvraw_header_get_nchans(const qvraw_header *h) {
    std::size_t n = std::min<std::size_t>(h->nsignals, 4);
    std::size_t nchans = 0;
    for (std::size_t i = 0; i < n; i++)
        nchans += h->signals[i] == QVRAW_SIGNAL_VM_VSUM ? 1 : 3;
    return nchans;
}

std::size_t qvraw_header_get_nsamples(const qvraw_header *h) {
    return h->nsamples;
}

std::size_t qvraw_header_get_nfreqs(const qvraw_header *h) {
    return h->nfreqs;
}

std::size_t qvraw_header_get_sample_size(const qvraw_header *h) {
    return qvraw_header_get_nchans(h) * sizeof(double);
}
