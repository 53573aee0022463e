#pragma once
// The link chosen by the three mode boxes, and the outcome of the TCP role decision. Neither is
// stored: each decision reads the boxes and fields at that moment.

enum class LinkMode { None, Tcp, Udp, Rs232 };

enum class TcpRole { Client = 0, Server = 1, Unset = 2 };
