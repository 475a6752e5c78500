#pragma once

#include <cstdint>

namespace lumeral {

/// Situación de un elemento gráfico: its place in its file, closure, visibility and colours.
/// Plain stored values, all 0 or false at first.
class Estado {
  public:
    /// Puntero del elemento en el fichero. En bytes.
    int32_t puntero() const { return m_puntero; }
    /// Tamaño del elemento en el fichero. En bytes.
    int32_t tamano() const { return m_tamano; }
    bool EsCerrado() const { return m_esCerrado; }
    /// Changed since the element was read.
    bool modificado() const { return m_modificado; }
    /// Superficie 2D de un elemento cerrado.
    double area() const { return m_area; }
    /// True unless the element was disabled (filtered out).
    bool Visible() const { return m_visible; }
    bool borrado() const { return m_borrado; }
    /// Color RGB de Línea o Texto.
    int32_t colorL() const { return m_colorL; }
    /// Color RGB de relleno; negated for an element that is not filled.
    int32_t colorRelleno() const { return m_colorRelleno; }
    int32_t Grosor() const { return m_grosor; }

    void puntero(int32_t v) { m_puntero = v; }
    void tamano(int32_t v) { m_tamano = v; }
    void EsCerrado(bool v) { m_esCerrado = v; }
    void modificado(bool v) { m_modificado = v; }
    void area(double v) { m_area = v; }
    void Visible(bool v) { m_visible = v; }
    void borrado(bool v) { m_borrado = v; }
    void colorL(int32_t v) { m_colorL = v; }
    void colorRelleno(int32_t v) { m_colorRelleno = v; }
    void Grosor(int32_t v) { m_grosor = v; }

  private:
    int32_t m_puntero = 0;
    int32_t m_tamano = 0;
    bool m_esCerrado = false;
    bool m_modificado = false;
    double m_area = 0.0;
    bool m_visible = false;
    bool m_borrado = false;
    int32_t m_colorL = 0;
    int32_t m_colorRelleno = 0;
    int32_t m_grosor = 0;
};

}  // namespace lumeral
