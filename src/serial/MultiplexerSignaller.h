// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "serial/SerialLine.h"

namespace tavrolin {

// What the receiver link needs of the multiplexer: take a MuxAddress, then clock its
// address words out on the DTR and RTS lines of the open line.
class MultiplexerSignaller {
public:
    virtual ~MultiplexerSignaller();
    virtual void SetAddress(uint8_t address) = 0;
    virtual void SendAddress(SerialLine& line) = 0;
};

}  // namespace tavrolin
