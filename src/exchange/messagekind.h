#pragma once

namespace quillet {

// What the renderer is told about a message; selects the colour of its header.
enum class MessageKind
{
    Own = 0,    // written with this user's identity
    Other = 1,  // written by someone else
    System = 2, // a text of the program itself, never read from a file
};

} // namespace quillet
