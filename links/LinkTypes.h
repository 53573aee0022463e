#pragma once
// The outcome of the TCP role decision. It is not stored: each decision reads the boxes and fields
// at that moment.

enum class TcpRole { Client = 0, Server = 1, Unset = 2 };
