#include "ventana_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace parvenza::prueba {

namespace {

// One QApplication for the whole test program, made before the first test runs.
class EntornoQt : public ::testing::Environment {
  public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char nombre[] = "window_test";
        static char* argv[] = {nombre, nullptr};
        if (!QApplication::instance()) m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] auto* const entorno = ::testing::AddGlobalTestEnvironment(new EntornoQt);

}  // namespace

std::string SelectorGuion::Elige(const std::string& filtro, const std::string& titulo) {
    preguntas.push_back({filtro, titulo});
    if (respuestas.empty())
        throw std::runtime_error("the test gave no answer for \"" + titulo + "\"");
    std::string r = respuestas.front();
    respuestas.pop_front();
    return r;
}

SelectorInstalado::SelectorInstalado() : m_selector(std::make_shared<SelectorGuion>()) {
    fenoquia::EstableceSelectorFichero(m_selector);
}

SelectorInstalado::~SelectorInstalado() { fenoquia::EstableceSelectorFichero(nullptr); }

RecogeMensajes::RecogeMensajes() {
    QObject::connect(&m_reloj, &QTimer::timeout, [this] {
        auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!caja || !caja->isVisible()) return;
        cajas.push_back({caja->windowTitle(), caja->text(), caja->icon()});
        caja->button(QMessageBox::Ok)->click();
    });
    m_reloj.start(5);
}

RecogeMensajes::~RecogeMensajes() { m_reloj.stop(); }

CarpetaTemporal::CarpetaTemporal() {
    std::string plantilla =
        (std::filesystem::temp_directory_path() / "parvenza-ventana-XXXXXX").string();
    if (!mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp failed");
    m_ruta = plantilla;
}

CarpetaTemporal::~CarpetaTemporal() {
    std::error_code ec;
    std::filesystem::remove_all(m_ruta, ec);
}

std::string CarpetaTemporal::Fichero(const std::string& nombre) const {
    const auto p = m_ruta / nombre;
    std::ofstream(p, std::ios::binary);
    return p.string();
}

std::unique_ptr<Ventana> Abre(Separadores separadores) {
    auto v = std::make_unique<Ventana>([separadores] { return separadores; });
    v->Form_Load();
    v->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    return v;
}

bool Visible(Ventana& v, const char* nombre) {
    QWidget* w = Control(v, QString::fromLatin1(nombre));
    return w && w->isVisibleTo(&v);
}

void Pulsa(Ventana& v, const char* nombre) {
    QWidget* w = Control(v, QString::fromLatin1(nombre));
    if (!w) return;
    EXPECT_TRUE(w->isVisibleTo(&v)) << nombre << " is not on screen";
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
}

}  // namespace parvenza::prueba
