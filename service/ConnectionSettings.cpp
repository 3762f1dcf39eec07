// The connection settings of each cycle: the server and database file from Rivelto.ini beside
// the executable, the rest fixed.

#include <filesystem>
#include <string>
#include <vector>

#include "database/IniFile.h"
#include "service/UVevoveRazara.h"

namespace vr {

void TSrvVevoveRazara::CarregarParametrosConexao() {
    const std::filesystem::path& directory = setup_.directory;
    std::string Servidor;
    std::string Caminho;
    {
        const IniFile ini = IniFile::Load(directory / "Rivelto.ini");
        Servidor = ini.ReadString("Rivelto", "Servidor", "localhost");
        Caminho = ini.ReadString("Rivelto", "Caminho", (directory / "RIVELTO.FDB").string());
    }
    Connvelmora.SetLoginPrompt(false);
    std::vector<std::string>& params = Connvelmora.Params();
    params.clear();
    params.push_back("DriverID=FB");
    params.push_back("Pooled=false");
    params.push_back("Database=" + Caminho);
    params.push_back("User_Name=USUARIO");
    params.push_back("Password=wenduk");
    params.push_back("Protocol=TCPIP");
    params.push_back("Server=" + Servidor);
    params.push_back("Port=3050");
    params.push_back("SQLDialect=3");
    params.push_back("CharacterSet=ISO8859_1");
    params.push_back("ExtendedMetaData=False");
    params.push_back("OpenMode=Open");
}

}  // namespace vr
