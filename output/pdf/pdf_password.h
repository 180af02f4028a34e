// The owner password of a PDF whose user gave only a user password.
#pragma once

#include <string>

namespace tw::output {

// 32 random bytes from the system's generator read as 16 UTF-16 units, none
// of them zero (a zero unit would end the password early); empty when the
// generator cannot be had.
std::u16string RandomOwnerPassword();

}  // namespace tw::output
