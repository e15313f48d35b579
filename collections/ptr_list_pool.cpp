#include <korutil/collections.h>

#include "frame/heap.h"

namespace {

constexpr int kNodesPerBlock = 64;

} // namespace

// Constant-initialised: the pool is usable before any constructor of the library has run.
CPtrList::Node* CPtrList::Node::m_pFreeList = nullptr;

void* CPtrList::Node::operator new(std::size_t size) noexcept {
    if (size != sizeof(Node)) {
        return korutil::detail::heapAllocate(size);
    }
    if (m_pFreeList == nullptr) {
        auto* block =
            static_cast<Node*>(korutil::detail::heapAllocate(kNodesPerBlock * sizeof(Node)));
        if (block == nullptr) {
            return nullptr;
        }
        for (int k = 0; k < kNodesPerBlock - 1; ++k) {
            block[k].m_pNext = &block[k + 1];
        }
        block[kNodesPerBlock - 1].m_pNext = nullptr;
        m_pFreeList = block;
    }
    Node* node = m_pFreeList;
    m_pFreeList = node->m_pNext;
    return node;
}

void CPtrList::Node::operator delete(void* p) {
    if (p == nullptr) {
        return;
    }
    Node* node = static_cast<Node*>(p);
    node->m_pNext = m_pFreeList;
    m_pFreeList = node;
}

void CPtrList::Node::FreeMemory() {}
