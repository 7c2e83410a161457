// The keys of lang.ini with their built-in texts, in the order in which they are read.
// The built-in texts are wide literals so that the Russian shows right on every code page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lang {

inline constexpr std::wstring_view kTitle = L"title";
inline constexpr std::wstring_view kControl = L"control";
inline constexpr std::wstring_view kMessage = L"message";

// Every key of lang.ini, named once.
namespace key {
// [title]
inline constexpr int kTitleName = 100;    // shown in IDC_TITLE_NAME
inline constexpr int kWindowTitle = 101;
inline constexpr int kLayout = 200;       // kFullLayout, or the compact layout
// [control]: the texts of controls, then one number
inline constexpr int kYes = 1000;
inline constexpr int kQuit = 1001;
inline constexpr int kUpgrade = 1002;
inline constexpr int kChooseFile = 1003;
inline constexpr int kUpgradeInfo = 1004;
inline constexpr int kDuration = 1005;
inline constexpr int kTransferredSize = 1006;
inline constexpr int kImageDelay = 9000;  // the pause between two images of an update, ms
// [message]
inline constexpr int kFileOpenError = 1020;
inline constexpr int kNoConnection = 1021;
inline constexpr int kBadFileFormat = 1022;
inline constexpr int kFileReadError = 1023;
inline constexpr int kConnected = 1024;
inline constexpr int kDisconnected = 1025;
inline constexpr int kLoadingSystemData = 1026;
inline constexpr int kLoadingSoftware = 1027;
inline constexpr int kLoadingSounds = 1028;
inline constexpr int kDatabaseVersion = 1029;
inline constexpr int kDone = 1030;
inline constexpr int kLibraryOpenError = 1031;
inline constexpr int kUsbConnection = 1032;
inline constexpr int kBadFirmwareFile = 1033;
inline constexpr int kWriteStep = 1034;   // a progress template: percent, step, steps
inline constexpr int kEraseStep = 1035;   // the same

// The control texts and the messages are numbered without gaps: text N is at N - first.
inline constexpr int kFirstControl = kYes;
inline constexpr std::size_t kControlCount = kTransferredSize - kFirstControl + 1;
inline constexpr int kFirstMessage = kFileOpenError;
inline constexpr std::size_t kMessageCount = kEraseStep - kFirstMessage + 1;
}  // namespace key

struct TextKey {
    std::wstring_view section;
    int key;
    std::wstring_view fallback;
};

// Title texts, then control texts, then messages; the one number (key::kImageDelay) is read
// after them.
inline constexpr std::array<TextKey, 26> kTextKeys{{
    {kTitle, key::kTitleName, L"VelmarquistK4 GPS"},
    {kTitle, key::kWindowTitle, L"VelmarquistK4 Dunor S"},
    {kTitle, key::kLayout, L"YES"},
    {kControl, key::kYes, L"Да"},
    {kControl, key::kQuit, L"Выход"},
    {kControl, key::kUpgrade, L"Обновление"},
    {kControl, key::kChooseFile, L"Выберите файл БД для загрузки"},
    {kControl, key::kUpgradeInfo, L"Информация об обновлении"},
    {kControl, key::kDuration, L"Продолжительность"},
    {kControl, key::kTransferredSize, L"Переданный размер данных"},
    {kMessage, key::kFileOpenError, L"Ошибка при открытии файла !"},
    {kMessage, key::kNoConnection, L"Нет соединения по USB, проверьте USB-соединение !"},
    {kMessage, key::kBadFileFormat, L"Неправильный формат файла ! "},
    {kMessage, key::kFileReadError, L"Ошибка чтения файла."},
    {kMessage, key::kConnected, L"Velmarquist GPS подключен."},
    {kMessage, key::kDisconnected, L"Velmarquist GPS разъединен."},
    {kMessage, key::kLoadingSystemData, L"Загрузка системных данных."},
    {kMessage, key::kLoadingSoftware, L"Загрузка ПО..."},
    {kMessage, key::kLoadingSounds, L"Загрузка звуковых файлов..."},
    {kMessage, key::kDatabaseVersion, L"Версия Базы Данных..."},
    {kMessage, key::kDone, L"Готово"},
    {kMessage, key::kLibraryOpenError, L"Ошибка при открытии файла QRT62xUSB.dll !!"},
    {kMessage, key::kUsbConnection, L"USB подключение"},
    {kMessage, key::kBadFirmwareFile, L"Неверный файл прошивки"},
    {kMessage, key::kWriteStep, L"Write %i%% (%i/%i)"},
    {kMessage, key::kEraseStep, L"Erase %i%% (%i/%i)"},
}};

// The pause between two images of an update when lang.ini gives none, in milliseconds.
inline constexpr uint32_t kDefaultDelay = 1000;

// Title text 200 selects the full layout only when it is exactly this.
inline constexpr std::wstring_view kFullLayout = L"YES";

}  // namespace lang
