// What sponge-render says on standard error.
#pragma once

#include <string>

// text with its control characters written out (\n, \t, \x1b, ...), so that a file name or
// argument a user typed cannot break a message into lines or send a terminal commands.
std::string printableText(const std::string& text);

// "sponge-render: " and message, made printable, as one line on standard error.
void printError(const std::string& message);

// "sponge-render: " and a note that is not an error (a file written on request), likewise.
void printNotice(const std::string& message);
