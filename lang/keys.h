// The keys of lang.ini with their built-in texts, in the order in which they are read.
// The built-in texts are wide literals so that the Russian shows right on every code page.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace lang {

inline constexpr std::wstring_view kTitle = L"title";
inline constexpr std::wstring_view kControl = L"control";
inline constexpr std::wstring_view kMessage = L"message";

struct TextKey {
    std::wstring_view section;
    int key;
    std::wstring_view fallback;
};

// Title texts, then control texts, then messages; the one number sits between the control texts and
// the messages (kDelayKey).
inline constexpr std::array<TextKey, 26> kTextKeys{{
    {kTitle, 100, L"VelmarquistK4 GPS"},
    {kTitle, 101, L"VelmarquistK4 Dunor S"},
    {kTitle, 200, L"YES"},
    {kControl, 1000, L"Да"},
    {kControl, 1001, L"Выход"},
    {kControl, 1002, L"Обновление"},
    {kControl, 1003, L"Выберите файл БД для загрузки"},
    {kControl, 1004, L"Информация об обновлении"},
    {kControl, 1005, L"Продолжительность"},
    {kControl, 1006, L"Переданный размер данных"},
    {kMessage, 1020, L"Ошибка при открытии файла !"},
    {kMessage, 1021, L"Нет соединения по USB, проверьте USB-соединение !"},
    {kMessage, 1022, L"Неправильный формат файла ! "},
    {kMessage, 1023, L"Ошибка чтения файла."},
    {kMessage, 1024, L"Velmarquist GPS подключен."},
    {kMessage, 1025, L"Velmarquist GPS разъединен."},
    {kMessage, 1026, L"Загрузка системных данных."},
    {kMessage, 1027, L"Загрузка ПО..."},
    {kMessage, 1028, L"Загрузка звуковых файлов..."},
    {kMessage, 1029, L"Версия Базы Данных..."},
    {kMessage, 1030, L"Готово"},
    {kMessage, 1031, L"Ошибка при открытии файла QRT62xUSB.dll !!"},
    {kMessage, 1032, L"USB подключение"},
    {kMessage, 1033, L"Неверный файл прошивки"},
    {kMessage, 1034, L"Write %i%% (%i/%i)"},
    {kMessage, 1035, L"Erase %i%% (%i/%i)"},
}};

// The pause between two images of an update, in milliseconds.
inline constexpr int kDelayKey = 9000;
inline constexpr uint32_t kDefaultDelay = 1000;

// Title text 200 selects the full layout only when it is exactly this.
inline constexpr std::wstring_view kFullLayout = L"YES";

}  // namespace lang
