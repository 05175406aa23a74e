#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "hostinfo/host_probe.h"
#include "hostinfo/interface_data.h"
#include "platform/ipv4_text.h"
#include "platform/system_calls_posix.h"
#include "platform/system_error.h"

namespace seatenrol {

namespace {

constexpr char kInterfaceRoot[] = "/sys/class/net";
// getifaddrs reports no link-layer address longer than this; nor does the dump.
constexpr std::size_t kLongestLinkAddress = 24;
// The kernel sends no dump datagram longer than 32 KiB.
constexpr std::size_t kDumpBufferSize = 64 * 1024;

std::string AddressText(const void* networkOrder) {
  in_addr address{};
  std::memcpy(&address, networkOrder, sizeof address);
  // inet_ntoa's text lives in per-thread storage until the next call.
  const char* text = inet_ntoa(address);
  return text == nullptr ? std::string() : std::string(text);
}

std::string MaskText(unsigned int prefixLength) {
  const std::uint32_t mask =
      prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(prefixLength, 32u));
  unsigned char bytes[4];
  StoreBigEndian32(mask, bytes);
  return AddressText(bytes);
}

// An address label such as "eth0:1" belongs to the interface "eth0".
std::string InterfaceName(const char* label) {
  const char* colon = std::strchr(label, ':');
  return colon == nullptr ? std::string(label) : std::string(label, colon);
}

// A descriptor closed when its owner goes, however the scope is left: a
// failed allocation part way through a dump must not leave the socket open.
class Descriptor {
public:
  explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
  ~Descriptor() {
    if (m_descriptor >= 0) close(m_descriptor);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  bool IsOpen() const { return m_descriptor >= 0; }
  int Get() const { return m_descriptor; }

private:
  int m_descriptor;
};

// An adapter with the kernel's index of its interface; 0 until known.
struct IndexedAdapter {
  AdapterRecord record;
  unsigned int index = 0;
};

IndexedAdapter& AdapterNamed(std::vector<IndexedAdapter>& adapters, const std::string& name) {
  for (IndexedAdapter& adapter : adapters) {
    if (adapter.record.name == name) return adapter;
  }
  adapters.emplace_back();
  adapters.back().record.name = name;
  return adapters.back();
}

// The text of a string attribute, which the kernel terminates; cut at the
// attribute's end all the same.
std::string AttributeText(const rtattr* attribute) {
  const char* text = static_cast<const char*>(RTA_DATA(attribute));
  const std::size_t size = RTA_PAYLOAD(attribute);
  return std::string(text, strnlen(text, size));
}

std::size_t LengthOf(const nlmsghdr& message) { return message.nlmsg_len; }
std::size_t LengthOf(const rtattr& attribute) { return attribute.rta_len; }

// The netlink item (message or attribute) at offset of bytes, when it and
// the length it gives itself lie within size; null past the last one.
template <typename Item>
const Item* ItemAt(const char* bytes, std::size_t size, std::size_t offset) {
  if (offset > size || size - offset < sizeof(Item)) return nullptr;
  const Item* item = reinterpret_cast<const Item*>(bytes + offset);
  const std::size_t length = LengthOf(*item);
  if (length < sizeof(Item) || length > size - offset) return nullptr;
  return item;
}

// Calls each for every attribute that follows the fixed header of message,
// which the caller has found long enough for that header.
void ForEachAttribute(const nlmsghdr* message, std::size_t headerSize,
                      const std::function<void(const rtattr*)>& each) {
  const char* bytes = reinterpret_cast<const char*>(message);
  const std::size_t size = message->nlmsg_len;
  for (std::size_t offset = NLMSG_LENGTH(NLMSG_ALIGN(headerSize));;) {
    const rtattr* attribute = ItemAt<rtattr>(bytes, size, offset);
    if (attribute == nullptr) return;
    each(attribute);
    offset += RTA_ALIGN(attribute->rta_len);
  }
}

// One routing-socket dump of type for family; each receives every message
// of the answer. False when the dump cannot be asked for, read in full or
// ends in an error.
bool Dump(int socketFd, std::vector<char>& buffer, std::uint16_t type, unsigned char family,
          std::uint32_t sequence, const std::function<void(const nlmsghdr*)>& each) {
  // Each dump type takes its own fixed header; all of them start with the family.
  const std::size_t bodySize = type == RTM_GETLINK ? sizeof(ifinfomsg) : sizeof(ifaddrmsg);
  struct {
    nlmsghdr header;
    unsigned char body[sizeof(ifinfomsg)];
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(bodySize);
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = sequence;
  request.body[0] = family;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (Posix().sendto(socketFd, &request, request.header.nlmsg_len, 0,
                     reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
    RecordLastSystemError();
    return false;
  }
  // The answer comes as a run of datagrams; one call takes all that are
  // already queued, each into its own slice of the buffer. The kernel sizes
  // a dump's datagrams by the largest receive buffer it has seen and the
  // largest message it has to send (a link without its VF details, a few KB),
  // so a slice holds one whole; a cut one fails the dump.
  constexpr unsigned int kSlices = 4;
  const std::size_t sliceSize = buffer.size() / kSlices;
  sockaddr_nl senders[kSlices];
  iovec parts[kSlices];
  mmsghdr messages[kSlices];
  for (;;) {
    for (unsigned int i = 0; i < kSlices; ++i) {
      senders[i] = sockaddr_nl{};
      parts[i] = iovec{buffer.data() + i * sliceSize, sliceSize};
      messages[i] = mmsghdr{};
      messages[i].msg_hdr.msg_name = &senders[i];
      messages[i].msg_hdr.msg_namelen = sizeof senders[i];
      messages[i].msg_hdr.msg_iov = &parts[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int count = Posix().recvmmsg(socketFd, messages, kSlices, MSG_WAITFORONE, nullptr);
    if (count < 0) {
      if (errno == EINTR) continue;
      RecordLastSystemError();
      return false;
    }
    for (int i = 0; i < count; ++i) {
      const msghdr& header = messages[i].msg_hdr;
      if ((header.msg_flags & MSG_TRUNC) != 0) return false;
      if (senders[i].nl_pid != 0) continue;  // only the kernel answers a dump
      const char* slice = buffer.data() + static_cast<std::size_t>(i) * sliceSize;
      const std::size_t size = messages[i].msg_len;
      for (std::size_t offset = 0;;) {
        const nlmsghdr* message = ItemAt<nlmsghdr>(slice, size, offset);
        if (message == nullptr) break;
        offset += NLMSG_ALIGN(message->nlmsg_len);
        if (message->nlmsg_seq != sequence) continue;
        if (message->nlmsg_type == NLMSG_DONE) return true;
        if (message->nlmsg_type == NLMSG_ERROR) return false;
        each(message);
      }
    }
  }
}

// Every interface with its link-layer address, and every interface's IPv4
// addresses, as getifaddrs reports them: links in the kernel's order, then
// addresses in its order, an address label naming its interface.
bool DumpInterfaces(std::vector<IndexedAdapter>& found) {
  const Descriptor routing(Posix().socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (!routing.IsOpen()) {
    RecordLastSystemError();
    return false;
  }
  const int socketFd = routing.Get();
  std::vector<char> buffer(kDumpBufferSize);
  std::vector<std::pair<unsigned int, std::string>> links;  // index, name
  const bool linksRead = Dump(socketFd, buffer, RTM_GETLINK, AF_UNSPEC, 1, [&](const nlmsghdr* m) {
    if (m->nlmsg_type != RTM_NEWLINK || m->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(m));
    std::string name;
    const rtattr* hardware = nullptr;
    ForEachAttribute(m, sizeof(ifinfomsg), [&](const rtattr* attribute) {
      if (attribute->rta_type == IFLA_IFNAME) name = AttributeText(attribute);
      if (attribute->rta_type == IFLA_ADDRESS) hardware = attribute;
    });
    if (name.empty()) return;
    const unsigned int index = static_cast<unsigned int>(info->ifi_index);
    links.emplace_back(index, name);
    IndexedAdapter& adapter = AdapterNamed(found, InterfaceName(name.c_str()));
    adapter.index = index;
    if (hardware == nullptr || RTA_PAYLOAD(hardware) > kLongestLinkAddress) return;
    const std::size_t length =
        std::min<std::size_t>(RTA_PAYLOAD(hardware), kMaxHardwareAddressLength);
    std::memcpy(adapter.record.hardware, RTA_DATA(hardware), length);
    adapter.record.hardwareLength = static_cast<unsigned int>(length);
  });
  const bool addressesRead =
      linksRead && Dump(socketFd, buffer, RTM_GETADDR, AF_INET, 2, [&](const nlmsghdr* m) {
        if (m->nlmsg_type != RTM_NEWADDR || m->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) return;
        const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(m));
        if (info->ifa_family != AF_INET) return;
        std::string label;
        const rtattr* local = nullptr;
        const rtattr* address = nullptr;
        ForEachAttribute(m, sizeof(ifaddrmsg), [&](const rtattr* attribute) {
          if (RTA_PAYLOAD(attribute) >= 4 && attribute->rta_type == IFA_LOCAL) local = attribute;
          if (RTA_PAYLOAD(attribute) >= 4 && attribute->rta_type == IFA_ADDRESS)
            address = attribute;
          if (attribute->rta_type == IFA_LABEL) label = AttributeText(attribute);
        });
        // A point-to-point address carries the peer as its address, its own as local.
        const rtattr* own = local != nullptr ? local : address;
        if (own == nullptr) return;
        if (label.empty()) {
          for (const auto& link : links) {
            if (link.first == info->ifa_index) label = link.second;
          }
        }
        if (label.empty()) return;
        IndexedAdapter& adapter = AdapterNamed(found, InterfaceName(label.c_str()));
        adapter.record.addresses.push_back(
            {AddressText(RTA_DATA(own)), MaskText(info->ifa_prefixlen)});
      });
  if (!addressesRead) return false;
  for (IndexedAdapter& adapter : found) {
    for (const auto& link : links) {
      if (adapter.index == 0 && link.second == adapter.record.name) adapter.index = link.first;
    }
  }
  return true;
}

// A small file of the kernel's, read fresh, as far as it reads; false when
// it cannot be opened.
bool ReadWholeFile(const char* path, std::string& text) {
  const Descriptor file(open(path, O_RDONLY | O_CLOEXEC));
  if (!file.IsOpen()) return false;
  text.clear();
  char chunk[4096];
  ssize_t length = 0;
  while ((length = read(file.Get(), chunk, sizeof chunk)) > 0) {
    text.append(chunk, static_cast<std::size_t>(length));
  }
  return true;
}

LinkRead ReadLink(const std::string& path) {
  LinkRead result;
  char target[4096];
  const ssize_t length = readlink(path.c_str(), target, sizeof target);
  if (length < 0) {
    result.error = errno;
  } else if (static_cast<std::size_t>(length) == sizeof target) {
    result.error = ENAMETOOLONG;
  } else {
    result.target.assign(target, static_cast<std::size_t>(length));
  }
  return result;
}

// The interfaces in the kernel's order, with their gateways; withoutIPv4
// keeps those that have no IPv4 address.
bool ListInterfaces(std::vector<AdapterRecord>& adapters, bool withoutIPv4) {
  adapters.clear();
  std::vector<IndexedAdapter> found;
  if (!DumpInterfaces(found)) return false;
  if (!withoutIPv4) {
    found.erase(std::remove_if(
                    found.begin(), found.end(),
                    [](const IndexedAdapter& adapter) { return adapter.record.addresses.empty(); }),
                found.end());
  }
  // The kernel's own order of interfaces is their index.
  for (IndexedAdapter& adapter : found) {
    if (adapter.index == 0) adapter.index = if_nametoindex(adapter.record.name.c_str());
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const IndexedAdapter& left, const IndexedAdapter& right) {
                     return left.index < right.index;
                   });
  adapters.reserve(found.size());
  for (IndexedAdapter& adapter : found) adapters.push_back(std::move(adapter.record));
  // Default and other routes through a gateway, in the kernel's table order.
  std::string routes;
  if (ReadWholeFile("/proc/net/route", routes)) AddRouteGateways(routes, adapters);
  return true;
}

}  // namespace

bool ProbeHostName(char (&name)[kHostNameBufferSize]) {
  if (Posix().gethostname(name, sizeof name) != -1) return true;
  RecordLastSystemError();
  return false;
}

bool ProbeHostNameUtf8(char (&name)[kHostNameBufferSize]) { return ProbeHostName(name); }

// An interface without an IPv4 address can neither be chosen nor give the
// fallback address, so the discovery neither lists it nor asks about it.
bool ProbeAdapters(std::vector<AdapterRecord>& adapters) { return ListInterfaces(adapters, false); }

bool ProbeEveryInterface(std::vector<AdapterRecord>& adapters) {
  return ListInterfaces(adapters, true);
}

bool ProbeIsPhysicalAdapter(const char* adapterName) {
  return IsPhysicalInterface(adapterName, kInterfaceRoot, ReadLink);
}

bool ExplainPhysicalAdapter(const char* adapterName, std::string& reason) {
  return IsPhysicalInterface(adapterName, kInterfaceRoot, ReadLink, &reason);
}

}  // namespace seatenrol
