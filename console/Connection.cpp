#include "console/Connection.h"

#include "console/Guarded.h"
#include "console/MessageBoxes.h"
#include "console/NumberText.h"
#include "platform/CodePages.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::Ansi;

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

[[noreturn]] void Raise(const char* err) {
    throw ConsoleError(platform::AnsiToUtf8(device::DeviceText(err)));
}

std::string ModemText(const std::string& name, const std::string& tail) {
    return Ansi("Модем: ") + name + tail;
}

} // namespace

uint8_t PortOfIndex(int itemIndex) {
    return itemIndex >= 0 && itemIndex <= 7 ? static_cast<uint8_t>(itemIndex + 1) : 1;
}

uint32_t BaudOfIndex(int itemIndex) {
    return itemIndex >= 0 && itemIndex < int(BaudRates.size()) ? BaudRates[itemIndex] : 9600;
}

int32_t IntegerValue(const std::string& text) {
    std::optional<int32_t> value = Int32Of(text);
    if (!value) throw ConsoleError("'" + platform::AnsiToUtf8(text) + "' is not a valid integer value");
    return *value;
}

DirectOutcome OpenDirectSession(const device::DeviceApi& api, const DirectLink& link) {
    api.SetAddressTransmitter(link.pcAddress);
    api.SetAddressReceiver(link.ecrAddress);
    const char* err = nullptr;
    if (api.HostConnect(link.port, link.baud, 20, 20, &err) == 0)
        return {DirectResult::ConnectFailed, device::DeviceText(err)};
    err = nullptr;
    if (api.MemoryFree(&err) != Q710_OK) {
        api.HostDisconnect();
        return {DirectResult::NoLink, {}};
    }
    return {DirectResult::Connected, {}};
}

std::string DirectStatusText(const std::string& portText, const std::string& baudText) {
    return Ansi("Статус: пряме підключення; порт ПК: ") + portText + Ansi("; швидкість: ") + baudText + ".";
}

std::string ConnectingStatusText() {
    return Ansi("Зачекайте, іде спроба встановлення звязку з ЕККА!");
}
std::string NoLinkText() {
    return Ansi("Немає зв'язку з ЕККА!");
}

void StartModemCall(const device::DeviceApi& api, const ModemCall& call) {
    const char* err = nullptr;
    api.SetAddressTransmitter(1);
    api.SetAddressReceiver(0);
    api.DisableRS485();
    api.RadarCreate();
    platform::Sleep(2000);
    if (api.SetModemMaxAttempts(call.attempts, &err) == 0) Raise(err);
    auto flag = [](bool on) { return static_cast<int16_t>(on ? -1 : 0); };
    err = nullptr;
    int16_t dialled = api.ModemDial(flag(call.tone), 0, flag(call.showChoice), flag(call.showConfig),
                                    call.phone.c_str(), &err);
    // A refusal without a text still counts as a started call.
    if (dialled == 0 && !device::DeviceText(err).empty()) Raise(err);
}

ModemPoll PollModem(const device::DeviceApi& api, const std::string& phone) {
    const char* err = nullptr;
    const char* namePtr = nullptr;
    if (api.GetModemDeviceName(&namePtr, &err) == 0) Raise(err);
    std::string name = device::DeviceText(namePtr);
    uint8_t state = 0;
    err = nullptr;
    if (api.GetModemState(&state, &err) == 0) Raise(err);
    switch (state) {
    case 0: {
        uint16_t seconds = 0;
        if (api.GetModemRetryWait(&seconds, &err) == 0) Raise(err);
        if (seconds == 0) return {ModemPollKind::GiveUp, {}};
        return {ModemPollKind::Status,
                ModemText(name, Ansi(" Статус: очікування (") + std::to_string(seconds) + Ansi(" секунд)."))};
    }
    case 6:
        return {ModemPollKind::Status, ModemText(name, Ansi(" Статус: занято."))};
    case 8:
        return {ModemPollKind::Connected, ModemText(name, Ansi(" Статус: зв'язок встановлено"))};
    case 9: {
        uint16_t current = 0;
        uint16_t maximum = 0;
        if (api.GetModemCurrentAttempt(&current, &err) == 0) Raise(err);
        if (api.GetModemMaxAttempts(&maximum, &err) == 0) Raise(err);
        // The 'c' of "cпроба" is a Latin letter on the register's side too.
        return {ModemPollKind::Status,
                ModemText(name, Ansi(" Статус: дозвон (") + phone + Ansi("), cпроба: ") +
                                    std::to_string(current) + Ansi(" з ") + std::to_string(maximum) + ".")};
    }
    case 15:
        return {ModemPollKind::Status, ModemText(name, Ansi(" Статус невизначено."))};
    default:
        return {ModemPollKind::Unchanged, {}};
    }
}

void CancelModemCall(const device::DeviceApi& api) {
    const char* err = nullptr;
    if (api.ModemCancelCall(&err) == 0) Raise(err);
}

AddressCheck CheckAddress(AddressEdit edit, const std::string& text, const std::string& otherText) {
    const bool pc = edit == AddressEdit::Pc;
    const std::string fallback = pc ? "1" : "2";
    AddressCheck check{Trim(text), {}, false};
    if (!check.text.empty() && check.text.find_first_not_of("0123456789") != std::string::npos) {
        check.message = Ansi(pc ? "Невірно задана адреса ПК!" : "Невірно задана адреса ЕККА!") + "\r\n" +
                        Ansi("Можливий діапазон значень: 1..99!");
        check.text = fallback;
        return check;
    }
    if (check.text.empty()) {
        check.text = fallback;
    } else {
        // Digits only: compare by length first so long texts never overflow.
        std::string digits =
            check.text.substr(std::min(check.text.find_first_not_of('0'), check.text.size()));
        if (digits.size() > 2)
            check.text = "99";
        else if (digits.empty())
            check.text = "1";
    }
    if (check.text == otherText) {
        check.message = pc ? Ansi("Адреса ПК співпадає з адресою ЕККА!") + "\r\n" +
                                 Ansi("Введіть нове значення адреси ПК.")
                           : Ansi("Адреса ЕККА співпадає з адресою ПК!") + "\r\n" +
                                 Ansi("Введіть нове значення адреси ЕККА.");
        check.text = fallback;
        check.refocus = true;
    }
    return check;
}

void ConfirmPowerOff(const device::DeviceApi& api) {
    if (platform::MessageBox(Ansi("Ви дійсно бажаєте вимкнути живлення ЕККА?"), Ansi("Попередження"),
                             WarningQuestionBox) != platform::IdYes)
        return;
    const char* err = nullptr;
    if (api.PowerOff(&err) == Q710_OK)
        ShowInfoText(Ansi("Живлення ЕККА вимкнене!"));
    else
        ShowErrorText(device::DeviceText(err));
}

} // namespace console
