#include "store/store.hpp"

#include <new>
#include <type_traits>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace mapari {
namespace {

constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

// The size rounded up to whole huge pages, so that the advice covers the store to its end.
constexpr std::size_t whole_huge_pages(std::size_t size) {
    return (size + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
}

template <typename Part>
void reset_part(Part& part) {
    static_assert(std::is_trivially_destructible_v<Part>, "the old part needs no ending");
    ::new (static_cast<void*>(&part)) Part;
}

}  // namespace

void* Store::operator new(std::size_t size) {
    const std::size_t bytes = whole_huge_pages(size);
    void* store = ::operator new (bytes, std::align_val_t{huge_page_bytes});
#ifdef MADV_HUGEPAGE
    // Only advice: where huge pages are not offered the store stays in small pages.
    madvise(store, bytes, MADV_HUGEPAGE);
#endif
    return store;
}

void Store::operator delete(void* store, std::size_t) {
    ::operator delete (store, std::align_val_t{huge_page_bytes});
}

void reset_store(Store& store) {
    reset_part(store);
}

void reset_store_but_recording(Store& store) {
    reset_part(store.settings);
    reset_part(store.naming);
    reset_part(store.display);
    reset_part(store.beat);
    reset_part(store.results);
    reset_part(store.ari);
    reset_part(store.answers);
}

}  // namespace mapari
