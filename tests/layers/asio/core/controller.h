#pragma once

#include <asio.hpp>  // no transport above the links
