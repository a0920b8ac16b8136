// The handheld's user, as the HotSync Manager knows it, kept in the text file
// user.conf of the handheld folder:
//
//   # lines of key=value; unknown keys are kept out of the way, not an error
//   name=Quorvia Learner
//   id=1
//   last_sync=1700000000
//
// last_sync is the time of the last completed HotSync in Unix seconds, 0 for
// none. A missing file is a handheld that has never synchronised.
#pragma once

#include <cstdint>
#include <string>

constexpr char kHandheldUserFile[] = "user.conf";

struct handheld_user {
  std::string name = "Quorvia Learner";
  uint32_t id = 1;
  uint32_t last_sync = 0;
};

// Reads folder/user.conf. False with *why set when it exists but cannot be read
// or holds a value that is not a number.
bool read_handheld_user(const std::string& folder, handheld_user* user, std::string* why);
bool write_handheld_user(const std::string& folder, const handheld_user& user, std::string* why);

// The 160-byte user record of the Sync Manager: the user id at offset 0
// (32-bit), the name at offset 8 (64 bytes, NUL-padded) and the last sync time
// at offset 136 (32-bit); numbers in host order, the rest zero.
void fill_user_record(const handheld_user& user, uint8_t* record);

// A decimal number of 0 to 4294967295 and nothing else; false otherwise.
bool parse_u32(const std::string& text, uint32_t* value);
