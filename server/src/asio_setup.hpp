#pragma once

// Asio without Boost; include this before any Asio header.
#ifndef ASIO_STANDALONE
#define ASIO_STANDALONE
#endif
