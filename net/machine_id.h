// The machine identifier ("mid") of the status reports: 32 hex characters
// derived from the processor, the first disk's serial number and a network
// adapter's hardware address, so one computer gives the same identifier in
// every run without anything being stored. An identifier found in the
// registry (HKLM "Software\VelSafe\Renova", value "mid") is preferred when it
// passes its own check; this program only reads that value.
//
// Thread-safety: any thread may call these functions, also at the same time;
// each computation works in buffers of its own. Every hardware source fails
// quietly (most need administrator rights) and nothing is logged.
//
// Ownership: the caller owns the output buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

// Writes the identifier, NUL-terminated, into `out`. Does nothing when `out`
// is null or cannot hold 32 characters and the terminator (33 bytes).
void GetMachineId(char* out, size_t out_size);

// The 32-character lowercase hex form of the program's digest of `text`
// (its first 259 bytes count): MD5 whose finalisation runs twice, the
// second one continuing from the state the first left. The result is
// truncated to `out_size` - 1 characters.
void HashToHex(const char* text, char* out, size_t out_size);

// The pieces of the computation, exposed so they can be checked without the
// hardware they normally read.
namespace machine_id {

// A stored value counts when it is 64 characters, its first half is 32 hex
// digits (either case) and its second half equals, ignoring case,
// HashToHex of the first half. Then the first half, as stored, is returned.
bool AcceptStoredId(const std::string& stored, std::string* id);

// "<vendor>:<feature word EDX of leaf 1 as %08x>", empty when CPUID is
// unavailable.
std::string ProcessorPart();

// Serial number from a 512-byte ATA identify block: words 10 to 19, high
// byte first, trailing spaces removed, cut at the first NUL.
std::string SerialFromIdentify(const uint8_t* identify);

// Serial number as a storage device descriptor gives it: a hex spelling of
// printable bytes (white space counting as 0) is decoded, any other text is
// kept when it is printable to its end; then the characters of every pair
// are swapped (an odd last one is dropped).
std::string SerialFromDescriptor(const std::string& text);

// The six address bytes as "%02X" each.
std::string FormatAddress(const uint8_t* address);

// The byte-wise smallest address; empty for none.
std::string SmallestAddress(const std::vector<std::string>& addresses);

// The text the identifier is the digest of, built from the hardware:
// processor part, disk part, adapter part; "Mid2Failed" when all are empty.
std::string SourceText();

}  // namespace machine_id

}  // namespace net
