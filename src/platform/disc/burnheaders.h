#pragma once

// The three libraries' headers only compile together in this order: libburn.h wraps itself in
// namespace burn, libisofs.h declares burn_source globally, and libisoburn.h expects both.
#include <cstdint>
// clang-format off
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>
using namespace burn;
#include <libisoburn/libisoburn.h>
// clang-format on
