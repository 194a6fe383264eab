#include "platform/emulated/hive.h"

#include <cstddef>
#include <set>

namespace plat {
namespace {

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

std::vector<HiveValueIt> OrderedValues(const HiveKey& key) {
  std::vector<HiveValueIt> out;
  std::set<std::string, CaseLess> seen;
  for (const std::string& name : key.valueOrder) {
    auto it = key.values.find(name);
    if (it != key.values.end() && seen.insert(it->first).second) out.push_back(it);
  }
  for (auto it = key.values.begin(); it != key.values.end(); ++it) {
    if (seen.insert(it->first).second) out.push_back(it);
  }
  return out;
}

const std::string& KeyPathOf(const std::pair<const std::string, HiveKey>& entry) {
  return entry.second.path.empty() ? entry.first : entry.second.path;
}

namespace {

bool SameKey(const std::pair<const std::string, HiveKey>& a,
             const std::pair<const std::string, HiveKey>& b) {
  if (KeyPathOf(a) != KeyPathOf(b) || a.second.values != b.second.values) return false;
  std::vector<HiveValueIt> orderA = OrderedValues(a.second);
  std::vector<HiveValueIt> orderB = OrderedValues(b.second);
  for (std::size_t i = 0; i < orderA.size(); ++i) {
    if (orderA[i]->first != orderB[i]->first) return false;
  }
  return true;
}

}  // namespace

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = LowerAscii(static_cast<unsigned char>(a[i]));
    unsigned char cb = LowerAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

bool Hive::operator==(const Hive& o) const {
  if (keys.size() != o.keys.size()) return false;
  for (auto a = keys.begin(), b = o.keys.begin(); a != keys.end(); ++a, ++b) {
    if (!SameKey(*a, *b)) return false;
  }
  return true;
}

bool Hive::SameValues(const Hive& o) const {
  if (keys.size() != o.keys.size()) return false;
  for (auto a = keys.begin(), b = o.keys.begin(); a != keys.end(); ++a, ++b) {
    CaseLess less;
    if (less(a->first, b->first) || less(b->first, a->first)) return false;
    if (a->second.values.size() != b->second.values.size()) return false;
    for (const auto& [name, value] : a->second.values) {
      auto it = b->second.values.find(name);
      if (it == b->second.values.end() || !(it->second == value)) return false;
    }
  }
  return true;
}

HiveKey* Hive::Find(const std::string& path) {
  auto it = keys.find(path);
  return it == keys.end() ? nullptr : &it->second;
}

HiveKey& Hive::Create(const std::string& path) {
  auto [it, inserted] = keys.try_emplace(path);
  if (inserted) it->second.path = path;
  return it->second;
}

void Hive::Set(HiveKey& key, const std::string& name, RegValue v) {
  auto it = key.values.find(name);
  if (it != key.values.end()) {
    it->second = std::move(v);
    return;
  }
  key.values.emplace(name, std::move(v));
  key.valueOrder.push_back(name);
}

std::string RootName(std::uint64_t root) {
  switch (root) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    default: return {};
  }
}

}  // namespace plat
