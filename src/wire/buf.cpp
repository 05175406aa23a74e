#include <cstring>
#include <new>

#include "platform/wipe.h"
#include "seatenrol/wire.h"

CBuf::CBuf() : m_storage(nullptr), m_capacity(0), m_length(0) {}

CBuf::~CBuf() { Free(); }

int CBuf::Alloc(unsigned int capacity) {
  // A second allocation replaces the block; the old one is released first so
  // a buffer reallocated at every enrolment never leaks.
  Free();
  m_storage = new (std::nothrow) unsigned char[capacity];
  if (m_storage == nullptr) return 0;
  m_capacity = capacity;
  std::memset(m_storage, 0, capacity);
  return 1;
}

int CBuf::Append(const void* source, unsigned int count) {
  if (m_storage == nullptr) return 0;
  if (source == nullptr) return 0;
  if (count > m_capacity - m_length) return 0;
  if (count > 0) std::memcpy(m_storage + m_length, source, count);
  m_length += count;
  return 1;
}

void CBuf::Reset() {
  if (m_storage != nullptr) std::memset(m_storage, 0, m_capacity);
  m_length = 0;
}

unsigned char* CBuf::GetData() const { return m_storage; }

unsigned int CBuf::GetCapacity() const { return m_capacity; }

unsigned int CBuf::GetDataLen() const { return m_length; }

int CBuf::SetDataLen(unsigned int length) {
  if (length > m_capacity) return 0;
  m_length = length;
  return 1;
}

void CBuf::Free() {
  if (m_storage == nullptr) return;
  // A buffer carries the sealed secret out and the credential in.
  seatenrol::WipeBytes(m_storage, m_capacity);
  delete[] m_storage;
  m_storage = nullptr;
  m_capacity = 0;
  m_length = 0;
}
