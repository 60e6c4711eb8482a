#include "net/machine_id.h"

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <nb30.h>
#include <cpuid.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/scoped_handle.h"

namespace net {

namespace {

// ---------------------------------------------------------------------------
// The digest. The identifiers already on the statistics server were made with
// an MD5 whose finalisation runs twice, the second continuing from the state,
// bit count and buffer the first left. No platform hash API lets a caller
// finalise and then go on, so the context is our own.

struct DigestContext {
  uint32_t count[2];  // message length in bits, low word first
  uint32_t state[4];
  uint8_t buffer[64];
  uint8_t digest[16];
};

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void Compress(uint32_t state[4], const uint8_t block[64]) {
  static const uint32_t kSine[64] = {
      0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
      0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
      0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
      0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
      0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
      0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
      0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
      0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
      0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
      0xeb86d391};
  static const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = static_cast<uint32_t>(block[i * 4]) | (static_cast<uint32_t>(block[i * 4 + 1]) << 8) |
           (static_cast<uint32_t>(block[i * 4 + 2]) << 16) |
           (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    uint32_t f;
    int g;
    switch (round) {
      case 0: f = (b & c) | (~b & d); g = i; break;
      case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
    }
    const uint32_t next = b + RotateLeft(a + f + kSine[i] + x[g], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void DigestInit(DigestContext* ctx, uint32_t seed) {
  std::memset(ctx, 0, sizeof(*ctx));
  ctx->state[0] = seed * 11 + 0x67452301u;
  ctx->state[1] = seed * 71 - 0x10325477u;
  ctx->state[2] = seed * 37 - 0x67452302u;
  ctx->state[3] = seed * 97 + 0x10325476u;
}

void DigestUpdate(DigestContext* ctx, const uint8_t* data, size_t length) {
  size_t index = (ctx->count[0] >> 3) & 63;
  const uint32_t bits_low = static_cast<uint32_t>(length) << 3;
  ctx->count[0] += bits_low;
  if (ctx->count[0] < bits_low) ++ctx->count[1];
  ctx->count[1] += static_cast<uint32_t>(static_cast<uint64_t>(length) >> 29);

  size_t i = 0;
  const size_t room = 64 - index;
  if (length >= room) {
    std::memcpy(ctx->buffer + index, data, room);
    Compress(ctx->state, ctx->buffer);
    for (i = room; i + 63 < length; i += 64) Compress(ctx->state, data + i);
    index = 0;
  }
  std::memcpy(ctx->buffer + index, data + i, length - i);
}

// One finalisation. The padding goes through the update (so the bit count
// grows by it), the length block does not; state, count and buffer are left
// as they are for a following finalisation.
void DigestFinal(DigestContext* ctx) {
  uint8_t bits[8];
  for (int i = 0; i < 4; ++i) {
    bits[i] = static_cast<uint8_t>(ctx->count[0] >> (8 * i));
    bits[4 + i] = static_cast<uint8_t>(ctx->count[1] >> (8 * i));
  }
  static const uint8_t kPadding[64] = {0x80};
  const size_t index = (ctx->count[0] >> 3) & 63;
  const size_t pad = index < 56 ? 56 - index : 120 - index;
  DigestUpdate(ctx, kPadding, pad);

  uint8_t block[64];
  std::memcpy(block, ctx->buffer, 56);
  std::memcpy(block + 56, bits, 8);
  Compress(ctx->state, block);
  for (int i = 0; i < 16; ++i) {
    ctx->digest[i] = static_cast<uint8_t>(ctx->state[i / 4] >> (8 * (i % 4)));
  }
}

// ---------------------------------------------------------------------------
// Disk serial numbers. Each method keeps its identify result and serial in
// locals, so two computations on two threads never share a buffer.

constexpr int kMaxDrives = 16;
constexpr BYTE kAtaIdentify = 0xEC;
constexpr BYTE kAtapiIdentify = 0xA1;
constexpr DWORD kScsiMiniportIdentify = (0x1B << 16) + 0x0501;  // IOCTL_SCSI_MINIPORT_IDENTIFY
constexpr DWORD kNdisQueryGlobalStats = 0x00170002;              // IOCTL_NDIS_QUERY_GLOBAL_STATS
constexpr DWORD kOid8023PermanentAddress = 0x01010101;
// SENDCMDOUTPARAMS without its one-byte placeholder, plus the identify block.
constexpr size_t kIdentifyResultBytes = sizeof(SENDCMDOUTPARAMS) - 1 + IDENTIFY_BUFFER_SIZE;

base::ScopedHandle OpenDevice(const wchar_t* format, int number, DWORD access, DWORD share) {
  wchar_t name[64];
  swprintf(name, 64, format, number);
  return base::ScopedHandle(
      CreateFileW(name, access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::string TrimTrailingSpaces(std::string text) {
  size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

void FillIdentifyCommand(SENDCMDINPARAMS* in, int drive, BYTE command) {
  in->cBufferSize = IDENTIFY_BUFFER_SIZE;
  in->irDriveRegs.bSectorCountReg = 1;
  in->irDriveRegs.bSectorNumberReg = 1;
  in->irDriveRegs.bDriveHeadReg = (drive & 1) ? 0xB0 : 0xA0;
  in->irDriveRegs.bCommandReg = command;
  in->bDriveNumber = static_cast<BYTE>(drive);
}

bool SerialBySmartWithMap(std::string* serial) {
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    base::ScopedHandle disk = OpenDevice(L"\\\\.\\PhysicalDrive%d", drive,
                                         GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!disk) continue;
    GETVERSIONINPARAMS version = {};
    DWORD returned = 0;
    if (!DeviceIoControl(disk.Get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof(version),
                         &returned, nullptr) ||
        version.bIDEDeviceMap == 0) {
      continue;
    }
    SENDCMDINPARAMS in = {};
    const BYTE command = ((version.bIDEDeviceMap >> drive) & 0x10) ? kAtapiIdentify : kAtaIdentify;
    FillIdentifyCommand(&in, drive, command);
    uint8_t result[kIdentifyResultBytes] = {};
    if (!DeviceIoControl(disk.Get(), SMART_RCV_DRIVE_DATA, &in, sizeof(in) - 1, result,
                         sizeof(result), &returned, nullptr)) {
      continue;
    }
    *serial = machine_id::SerialFromIdentify(
        reinterpret_cast<SENDCMDOUTPARAMS*>(result)->bBuffer);
    return true;
  }
  return false;
}

bool SerialByScsiMiniport(std::string* serial) {
  constexpr size_t kDataLength = sizeof(SENDCMDOUTPARAMS) + IDENTIFY_BUFFER_SIZE;  // 529
  for (int port = 0; port < kMaxDrives; ++port) {
    base::ScopedHandle scsi = OpenDevice(L"\\\\.\\Scsi%d:", port, GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!scsi) continue;
    for (int drive = 0; drive < 2; ++drive) {
      uint8_t buffer[sizeof(SRB_IO_CONTROL) + kDataLength] = {};
      auto* control = reinterpret_cast<SRB_IO_CONTROL*>(buffer);
      control->HeaderLength = sizeof(SRB_IO_CONTROL);
      std::memcpy(control->Signature, "SCSIDISK", 8);
      control->Timeout = 10000;
      control->ControlCode = kScsiMiniportIdentify;
      control->Length = kDataLength;
      auto* in = reinterpret_cast<SENDCMDINPARAMS*>(buffer + sizeof(SRB_IO_CONTROL));
      in->cBufferSize = IDENTIFY_BUFFER_SIZE;
      in->irDriveRegs.bCommandReg = kAtaIdentify;
      in->bDriveNumber = static_cast<BYTE>(drive);
      DWORD returned = 0;
      if (!DeviceIoControl(scsi.Get(), IOCTL_SCSI_MINIPORT, buffer,
                           sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDINPARAMS) - 1, buffer,
                           sizeof(buffer), &returned, nullptr)) {
        continue;
      }
      const uint8_t* identify =
          reinterpret_cast<SENDCMDOUTPARAMS*>(buffer + sizeof(SRB_IO_CONTROL))->bBuffer;
      if (std::all_of(identify, identify + IDENTIFY_BUFFER_SIZE, [](uint8_t b) { return b == 0; })) {
        continue;
      }
      *serial = machine_id::SerialFromIdentify(identify);
      return true;
    }
  }
  return false;
}

bool SerialByStorageQuery(std::string* serial) {
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    base::ScopedHandle disk = OpenDevice(L"\\\\.\\PhysicalDrive%d", drive, 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!disk) continue;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<char> buffer(10000);
    DWORD returned = 0;
    if (!DeviceIoControl(disk.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                         buffer.data(), static_cast<DWORD>(buffer.size()), &returned, nullptr) ||
        returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
      continue;
    }
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
    const DWORD offset = descriptor->SerialNumberOffset;
    if (offset == 0 || offset >= returned) continue;  // this device keeps no serial
    const char* begin = buffer.data() + offset;
    const char* end = std::find(begin, static_cast<const char*>(buffer.data() + returned), '\0');
    *serial = machine_id::SerialFromDescriptor(std::string(begin, end));
    return true;
  }
  return false;
}

bool SerialBySmart(std::string* serial) {
  constexpr size_t kOutBytes = 545;
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    base::ScopedHandle disk = OpenDevice(L"\\\\.\\PhysicalDrive%d", drive,
                                         GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!disk) continue;
    GETVERSIONINPARAMS version = {};
    DWORD returned = 0;
    if (!DeviceIoControl(disk.Get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof(version),
                         &returned, nullptr)) {
      continue;
    }
    SENDCMDINPARAMS in = {};  // 33 bytes with its placeholder
    FillIdentifyCommand(&in, drive, kAtaIdentify);
    uint8_t result[kOutBytes] = {};
    if (!DeviceIoControl(disk.Get(), SMART_RCV_DRIVE_DATA, &in, sizeof(in), result,
                         sizeof(result), &returned, nullptr)) {
      continue;
    }
    *serial = machine_id::SerialFromIdentify(
        reinterpret_cast<SENDCMDOUTPARAMS*>(result)->bBuffer);
    return true;
  }
  return false;
}

std::string DiskPart() {
  std::string serial;
  for (bool (*method)(std::string*) :
       {SerialBySmartWithMap, SerialByScsiMiniport, SerialByStorageQuery, SerialBySmart}) {
    serial.clear();
    if (method(&serial)) return TrimTrailingSpaces(serial);
  }
  return std::string();
}

// ---------------------------------------------------------------------------
// Adapter addresses.

bool AddressFromNetworkCards(std::string* address) {
  base::ScopedRegKey cards;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
                    0, KEY_READ, cards.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  std::vector<std::string> found;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD name_chars = 256;
    LONG rc = RegEnumKeyExW(cards.Get(), index, name, &name_chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    base::ScopedRegKey card;
    if (RegOpenKeyExW(cards.Get(), name, 0, KEY_READ, card.Receive()) != ERROR_SUCCESS) continue;
    wchar_t service[256] = {};
    DWORD bytes = sizeof(service) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(card.Get(), L"ServiceName", nullptr, &type,
                         reinterpret_cast<BYTE*>(service), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
      continue;
    }
    std::wstring device = L"\\\\.\\" + std::wstring(service);
    base::ScopedHandle adapter(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!adapter) continue;
    DWORD oid = kOid8023PermanentAddress;
    uint8_t mac[16] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(adapter.Get(), kNdisQueryGlobalStats, &oid, sizeof(oid), mac, sizeof(mac),
                         &returned, nullptr) ||
        returned < 6) {
      continue;
    }
    found.push_back(machine_id::FormatAddress(mac));
  }
  if (found.empty()) return false;
  *address = machine_id::SmallestAddress(found);
  return true;
}

bool AddressFromNetbios(std::string* address) {
  LANA_ENUM lanas = {};
  NCB ncb = {};
  ncb.ncb_command = NCBENUM;
  ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
  ncb.ncb_length = sizeof(lanas);
  if (Netbios(&ncb) != NRC_GOODRET || lanas.length == 0) return false;

  ncb = NCB{};
  ncb.ncb_command = NCBRESET;
  ncb.ncb_lana_num = lanas.lana[0];
  Netbios(&ncb);

  uint8_t status[600] = {};
  ncb = NCB{};
  ncb.ncb_command = NCBASTAT;
  ncb.ncb_lana_num = lanas.lana[0];
  std::memset(ncb.ncb_callname, ' ', NCBNAMSZ);
  ncb.ncb_callname[0] = '*';
  ncb.ncb_buffer = status;
  ncb.ncb_length = sizeof(status);
  if (Netbios(&ncb) != NRC_GOODRET) return false;
  *address = machine_id::FormatAddress(status);  // ADAPTER_STATUS starts with the address
  return true;
}

std::string AdapterPart() {
  std::string address;
  if (AddressFromNetworkCards(&address)) return address;
  address.clear();
  if (AddressFromNetbios(&address)) return address;
  return std::string();
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;  // white space
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool ReadStoredId(std::string* value) {
  base::ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\VelSafe\\Renova", 0, KEY_READ,
                    key.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  char buffer[1025] = {};
  DWORD bytes = 1024;
  DWORD type = 0;
  if (RegQueryValueExA(key.Get(), "mid", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  value->assign(buffer, strnlen(buffer, std::min<DWORD>(bytes, 1024)));
  return true;
}

}  // namespace

namespace machine_id {

bool AcceptStoredId(const std::string& stored, std::string* id) {
  if (stored.size() != 64) return false;
  const std::string first = stored.substr(0, 32);
  // The identifier goes into a report URL unencoded: only hex is let through.
  if (!std::all_of(first.begin(), first.end(), IsHexDigit)) return false;
  char check[33];
  HashToHex(first.c_str(), check, sizeof(check));
  if (!EqualsIgnoringCase(stored.substr(32), check)) return false;
  *id = first;
  return true;
}

std::string ProcessorPart() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return std::string();
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  unsigned int features = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) features = edx;
  char text[64];
  snprintf(text, sizeof(text), "%s:%08x", vendor, features);
  return text;
}

std::string SerialFromIdentify(const uint8_t* identify) {
  std::string serial;
  for (int word = 10; word <= 19; ++word) {
    serial.push_back(static_cast<char>(identify[word * 2 + 1]));
    serial.push_back(static_cast<char>(identify[word * 2]));
  }
  serial.erase(std::find(serial.begin(), serial.end(), '\0'), serial.end());
  return TrimTrailingSpaces(serial);
}

std::string SerialFromDescriptor(const std::string& text) {
  std::string plain;
  bool hex = text.size() % 2 == 0;
  for (size_t i = 0; hex && i < text.size(); i += 2) {
    const char hi = text[i], lo = text[i + 1];
    const bool digits = (IsHexDigit(hi) || std::isspace(static_cast<unsigned char>(hi))) &&
                        (IsHexDigit(lo) || std::isspace(static_cast<unsigned char>(lo)));
    const unsigned char byte = static_cast<unsigned char>(HexValue(hi) * 16 + HexValue(lo));
    if (!digits || !IsPrintable(byte)) {
      hex = false;
    } else {
      plain.push_back(static_cast<char>(byte));
    }
  }
  if (!hex) {
    plain.clear();
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return IsPrintable(static_cast<unsigned char>(c)); })) {
      plain = text;
    }
  }
  std::string swapped;
  for (size_t i = 0; i + 1 < plain.size(); i += 2) {
    swapped.push_back(plain[i + 1]);
    swapped.push_back(plain[i]);
  }
  return swapped;
}

std::string FormatAddress(const uint8_t* address) {
  char text[16];
  snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", address[0], address[1], address[2],
           address[3], address[4], address[5]);
  return text;
}

std::string SmallestAddress(const std::vector<std::string>& addresses) {
  if (addresses.empty()) return std::string();
  return *std::min_element(addresses.begin(), addresses.end());
}

std::string SourceText() {
  std::string source = ProcessorPart() + DiskPart() + AdapterPart();
  if (source.size() > 4095) source.resize(4095);
  if (source.empty()) source = "Mid2Failed";
  return source;
}

}  // namespace machine_id

void HashToHex(const char* text, char* out, size_t out_size) {
  if (!out || out_size == 0) return;
  char copy[260] = {};
  if (text) strncpy(copy, text, sizeof(copy) - 1);
  DigestContext ctx;
  DigestInit(&ctx, 0);
  DigestUpdate(&ctx, reinterpret_cast<const uint8_t*>(copy), strlen(copy));
  DigestFinal(&ctx);
  DigestFinal(&ctx);
  char hex[64] = {};
  for (int i = 0; i < 16; ++i) snprintf(hex + i * 2, 3, "%02x", ctx.digest[i]);
  snprintf(out, out_size, "%s", hex);
  for (char* p = out; *p; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
}

void GetMachineId(char* out, size_t out_size) {
  // 33 bytes at least: a shorter buffer could only hold a cut identifier.
  if (!out || out_size < 33) return;
  std::string stored, id;
  if (ReadStoredId(&stored) && machine_id::AcceptStoredId(stored, &id)) {
    snprintf(out, out_size, "%s", id.c_str());
    return;
  }
  HashToHex(machine_id::SourceText().c_str(), out, out_size);
}

}  // namespace net
