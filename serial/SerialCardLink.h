#pragma once

#include "serial/ComPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tavo {

// Sees the handshake of each connection, for a monitor of the line.
class THandshakeObserver {
public:
    virtual ~THandshakeObserver() = default;
    virtual void OptionByteSent(std::uint8_t option) = 0;
    // The byte that came back within the read limit, or none.
    virtual void EchoReceived(const std::string& echo) = 0;
    // The line's new speed after a confirmed handshake asked for 19200 baud.
    virtual void SpeedChanged(int baud) = 0;
};

// The number of the serial central card (SCK) among the digital systems.
inline constexpr std::uint8_t SerieleKaart = 4;

// The link to the serial interface card: a serial port that configures the line for the card,
// confirms every connection with the option-byte echo (moving to 19200 baud when asked) and
// pulses DTR low for 250 ms before every close.
class TTavoCom : public serial::TComPort {
public:
    explicit TTavoCom(serial::TComponent* owner = nullptr,
                      std::unique_ptr<serial::TComBackend> backend = nullptr);
    // Closes an open port here, while the hooks that it runs can still use this object.
    ~TTavoCom() override;

    std::uint8_t DigitaalSysteem() const { return mDigitaalSysteem; }

    // The card's options, sent in the option byte of the next handshake.
    bool KortsluitMelding = true; // bit 2: short circuits are reported
    bool TimeOut = true;          // bit 1: the card stops its counter after 1 s without data
    bool KortsluitStop = true;    // bit 0: the card stops its counter on a short circuit
    bool TestBedrijf = false;     // bit 4: strobes are made by hand

    // Set by the before-open hook: this connection is to run at 19200 baud (bit 3).
    bool HogeBaudrate() const { return mHogeBaudrate; }
    // The card has echoed the option byte since the port was last opened.
    bool KaartOk() const { return mKaartOk; }

    // Selects the device at the other end and configures the port for it in one batch. Only
    // the serial card (4) is known: any other number is stored and configures nothing, and
    // its connections are never confirmed.
    void SetDigitaalSysteem(std::uint8_t system);

    // True when the card has echoed the option byte since the port was opened; runs the
    // handshake when it has not yet.
    bool CheckVerbinding();
    // The handshake: a second with the window running, a purge, the option byte, and its echo
    // within the read limit. A correct echo moves the line to 19200 baud when that was asked.
    bool InitSerieleKaart();
    // Writes the text when the port is open; the count written is not looked at.
    void Verstuur(const std::string& text);

    // The option byte that the next handshake sends.
    std::uint8_t OptionByte() const;

    // Told of every handshake from now on; nullptr for none.
    void SetHandshakeObserver(THandshakeObserver* observer) { mObserver = observer; }

private:
    void VoorOpenen();
    void VoorSluiten();

    THandshakeObserver* mObserver = nullptr;
    std::uint8_t mDigitaalSysteem = 0;
    bool mHogeBaudrate = false;
    bool mKaartOk = false;
};

} // namespace tavo
