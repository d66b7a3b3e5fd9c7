// Parsers of the device's replies, applied to a reply after its prompt arrived; portable.
// Each takes the NUL-terminated reply text and may overwrite characters of it with NUL.
#pragma once

#include <cstddef>
#include <cstdint>

// Skips leading CR and LF, overwrites trailing CR and LF with NUL; blanks and tabs stay.
char* TrimReply(char* reply);

// The trimmed reply is exactly "OK" (case matters).
bool IsReplyOK(char* reply);

// The trimmed reply is one or more digits and nothing else, at most 2147483647. On failure the output
// is left as it was.
bool GetReplyNumber(char* reply, int32_t* number);

// As a number; stores 1 for nonzero, 0 for zero.
bool GetReplyFlag(char* reply, int32_t* flag);

// The trimmed reply is exactly a dotted quad (see ParseAddress).
bool GetReplyAddress(char* reply, uint32_t* address);

// Copies at most size - 1 characters of the trimmed reply and always terminates; always true.
bool GetReplyText(char* reply, char* text, std::size_t size);

// As GetReplyText, but a name that holds a CR or LF inside is rejected (false, output untouched): it
// could not be sent back to the device as one command line.
bool GetReplyName(char* reply, char* name, std::size_t size);

// Lines of "key address" for the keys "address", "netmask" and "gateway", or the line "dhcp" (all three
// 0). Sets all three outputs in any case; true when at least one line parsed and none failed.
bool GetReplyNetParam(char* reply, uint32_t* address, uint32_t* mask, uint32_t* gateway);
