// SQL text helpers of the ODBC connection: the one way values become SQL
// literals, the one check a name passes before it is placed in a statement
// as an identifier, and the owner password that the catalogue creation gives
// the login or user it makes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A string literal: the text in single quotes, every single quote doubled.
std::string SqlLiteral(std::string_view text);

// Why `name` cannot stand in a statement as an identifier, or "" when it can.
// `quote` is the identifier quote the name is put between (empty for a bare
// name): a quoted name must not hold the quote; a bare one holds only ASCII
// letters and digits, "_", "$", "#", "@" and bytes of non-ASCII characters.
// No name may hold a null.
std::string SqlIdentifierFault(std::string_view name, std::string_view quote);

// Why `value` cannot stand in a statement as a string literal (a null
// character would end the statement text), or "" when it can.
std::string SqlValueFault(std::string_view value);

// The text without white space at both ends.
std::string SqlTrim(std::string_view text);

// The text with ASCII letters turned to upper case (locale-independent).
std::string SqlUpper(std::string_view text);

// The first `count` bytes of the text (all of it when shorter).
std::string SqlLeft(std::string_view text, std::size_t count);

// The text with every occurrence of `secret` replaced by "********", and
// with a tail that is the secret's first three or more characters (a message
// cut inside the secret) replaced too.
std::string SqlMaskSecret(std::string_view text, std::string_view secret);

// A new owner password: 24 characters from the operating system's random
// source, letters and digits only, a letter first, with at least one upper
// case letter, one lower case letter and one digit. Empty when the random
// source fails.
std::string SqlNewOwnerPassword();

// The password that `SqlNewOwnerPassword` makes from the given random bytes,
// or "" when the bytes do not suffice (rejected draws, missing classes).
std::string SqlOwnerPasswordFromBytes(std::string_view random);

// True when `pw` has the owner password's shape.
bool SqlIsOwnerPassword(std::string_view pw);
