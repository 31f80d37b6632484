#pragma once
// The socket components: the common base, the connection object and the listening server.

#include "custom_simple_socket.h"
#include "simple_tcp_client.h"
#include "simple_tcp_server.h"
