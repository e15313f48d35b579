#include <korutil/collections.h>

#include <cstring>

namespace {

constexpr unsigned kFlags = 128;

unsigned char bitOf(unsigned char n) {
    return static_cast<unsigned char>(1u << (n % 8));
}

} // namespace

CBits128::CBits128() {
    ClearAll();
}

void CBits128::Set(unsigned char n) {
    if (n < kFlags) {
        m_bits[n / 8] |= bitOf(n);
    }
}

void CBits128::Clear(unsigned char n) {
    if (n < kFlags) {
        m_bits[n / 8] &= static_cast<unsigned char>(~bitOf(n));
    }
}

int CBits128::Get(unsigned char n) const {
    return n < kFlags && (m_bits[n / 8] & bitOf(n)) != 0 ? 1 : 0;
}

void CBits128::SetAll() {
    std::memset(m_bits, 0xFF, sizeof m_bits);
}

void CBits128::ClearAll() {
    std::memset(m_bits, 0, sizeof m_bits);
}

CBits128& CBits128::operator=(const CBits128& other) {
    std::memcpy(m_bits, other.m_bits, sizeof m_bits);
    return *this;
}
