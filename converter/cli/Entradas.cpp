#include "converter/cli/Entradas.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>
#include <thread>

namespace parvenza::cli {

namespace fs = std::filesystem;

namespace {

std::string Minusculas(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool MenorSinMayusculas(const std::string& a, const std::string& b) {
    const std::string la = Minusculas(a), lb = Minusculas(b);
    return la != lb ? la < lb : a < b;
}

std::vector<std::string> DeLaCarpeta(const std::string& carpeta,
                                     const std::vector<std::string>& extensiones,
                                     const std::string& clase) {
    std::vector<std::string> nombres;
    std::error_code ec;
    fs::directory_iterator it(carpeta, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code ec2;
        if (!it->is_regular_file(ec2)) continue;
        const std::string nombre = it->path().filename().string();
        const std::string extension = Minusculas(it->path().extension().string());
        if (std::find(extensiones.begin(), extensiones.end(), extension) != extensiones.end())
            nombres.push_back(nombre);
    }
    if (ec) throw ErrorEntrada(carpeta + ": no se puede leer la carpeta: " + ec.message());
    if (nombres.empty()) throw ErrorEntrada(carpeta + ": la carpeta no tiene ficheros " + clase);
    std::sort(nombres.begin(), nombres.end(), MenorSinMayusculas);
    for (std::string& n : nombres) n = (fs::path(carpeta) / n).string();
    return nombres;
}

}  // namespace

std::vector<std::string> ExpandeEntradas(const std::vector<std::string>& argumentos,
                                         const std::vector<std::string>& extensiones,
                                         const std::string& clase) {
    std::vector<std::string> ficheros;
    std::set<fs::path> vistos;
    auto anade = [&](const std::string& f) {
        std::error_code ec;
        fs::path unico = fs::weakly_canonical(f, ec);
        if (ec) unico = fs::absolute(f);
        if (vistos.insert(unico).second) ficheros.push_back(f);
    };
    for (const std::string& a : argumentos) {
        std::error_code ec;
        const fs::file_status estado = fs::status(a, ec);
        if (fs::is_directory(estado)) {
            for (const std::string& f : DeLaCarpeta(a, extensiones, clase)) anade(f);
        } else if (fs::is_regular_file(estado)) {
            anade(a);
        } else if (fs::exists(estado)) {
            throw ErrorEntrada(a + ": no es un fichero ni una carpeta");
        } else {
            throw ErrorEntrada(a + ": no existe el fichero " + clase);
        }
    }
    return ficheros;
}

void OpcionTrabajos(CLI::App& sub, int& trabajos, const std::string& ayuda) {
    sub.add_option("--jobs", trabajos, ayuda)
        ->type_name("N")
        ->check(CLI::Validator(
            [](std::string& v) {
                return v.find_first_not_of("0123456789") == std::string::npos && v.size() < 6 &&
                               std::stoi(v) > 0
                           ? std::string()
                           : std::string("debe ser un número entero mayor que cero");
            },
            ""));
}

int Trabajos(int trabajos) {
    return trabajos > 0 ? trabajos : std::max(1, int(std::thread::hardware_concurrency()));
}

}  // namespace parvenza::cli
