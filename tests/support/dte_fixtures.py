#!/usr/bin/env python3
"""Writes one DTE document of every type in both generations of the tax
authority's schemas, valid against them, for the tests of the reader and of
the printed documents.

    dte_fixtures.py OUT_DIR [--signed]

For each type it writes OUT_DIR/<tipoDte>-<items>.json with 3 items and with
45 (09 has no item list: one document, 09-1.json) under the 2023 schemas,
the same documents under those of Normativa v2.0 as <tipoDte>-<items>-v2.json
(the 3-item ones without totalLetras), and OUT_DIR/index.json: for each file
the values a printed version must show, worked out here from the data and
not read back from the document, so that a test compares the program's
reading with an independent one. --signed writes the documents as
the program stores them, "firmaElectronica" and "selloRecibido" last.

Every document is validated before it is written; an invalid one ends the
program with status 1 and the schema's complaint. The output depends on
nothing but this file and the schemas: the same bytes on every run.
"""

import json
import os
import random
import sys
import uuid
from datetime import date, timedelta
from decimal import ROUND_HALF_UP, Decimal
from fractions import Fraction

import jsonschema

SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "dte_schemas")
SCHEMA_OF = {
    "01": "fe-fc-v1.json", "03": "fe-ccf-v3.json", "04": "fe-nr-v3.json", "05": "fe-nc-v3.json",
    "06": "fe-nd-v3.json", "07": "fe-cr-v1.json", "08": "fe-cl-v1.json", "09": "fe-dcl-v1.json",
    "11": "fe-fex-v1.json", "14": "fe-fse-v1.json", "15": "fe-cd-v1.json",
}
SCHEMA_V2_OF = {
    "01": "fe-f-v2.json", "03": "fe-ccf-v4.json", "04": "fe-nr-v4.json", "05": "fe-nc-v4.json",
    "06": "fe-nd-v4.json", "07": "fe-cr-v2.json", "08": "fe-cl-v2.json", "09": "fe-dcl-v2.json",
    "11": "fe-fex-v3.json", "14": "fe-fse-v2.json", "15": "fe-cd-v2.json",
}
VERSION_V2 = {"01": 2, "03": 4, "04": 4, "05": 4, "06": 4, "11": 3}
TYPE_NAME = {
    "01": "Factura", "03": "Comprobante de crédito fiscal", "04": "Nota de remisión",
    "05": "Nota de crédito", "06": "Nota de débito", "07": "Comprobante de retención",
    "08": "Comprobante de liquidación", "09": "Documento contable de liquidación",
    "11": "Facturas de exportación", "14": "Factura de sujeto excluido", "15": "Comprobante de donación",
}
CENT = Decimal("0.01")
ISSUE_DAY = date(2024, 3, 14)

COMPANIES = [
    ("06142305961047", "2345678", "Distribuidora Cuscatleca de Maquinaria, S.A. de C.V.", "DICUMAQ",
     "46510", "Venta al por mayor de computadoras, equipo periférico y programas informáticos",
     ("06", "14", "Calle El Mirador y 87 Avenida Norte, Edificio Torre Futura, nivel 11, Colonia Escalón")),
    ("02101508921012", "1034567", "Cafetalera Ñáñez Hermanos, S.A. de C.V.", "Café Ñáñez",
     "01271", "Cultivo de café", ("02", "10", "Kilómetro 64 carretera a Metapán, finca El Porvenir")),
    ("05110911850026", "987654", "Servicios Informáticos Peña & Asociados, S.A. de C.V.", "Peña Sistemas",
     "62010", "Programación Informática", ("05", "11", "Boulevard Orden de Malta, Santa Elena, local 4-B")),
    ("11232107790018", "455221", "Ferretería y Materiales La Unión Usuluteca, S.A. de C.V.", None,
     "46900", "Venta al por mayor de otros productos", ("11", "23", "4.ª Calle Oriente n.º 18, Barrio El Calvario")),
]
PEOPLE = [
    ("María José Hernández Peña", "01234567-8"),
    ("José Ángel Martínez Quiñónez", "04567891-2"),
    ("Ana Lucía Rodríguez de Guzmán", "03456789-0"),
    ("Óscar Arnulfo Benítez Muñoz", "05678912-3"),
]
GOODS = [
    "Café molido de altura, bolsa de 454 g", "Computadora portátil 14\" Core i5, 16 GB RAM, SSD 512 GB",
    "Cemento gris Portland tipo GU, bolsa de 42.5 kg", "Tortillas de maíz nixtamalizado, paquete de 30",
    "Azúcar morena de caña, quintal", "Monitor LED 24\" Full HD con base ajustable",
    "Hierro corrugado de ½\" grado 40, varilla de 6 m", "Pupusas revueltas congeladas, caja de 50 unidades",
    "Licencia anual de programa contable, un puesto", "Lámina de zinc acanalada calibre 26, 12 pies",
    "Teclado inalámbrico en español con ñ y tildes", "Servicio de instalación y configuración de red",
]
LONG_PARTS = [
    "Mantenimiento preventivo y correctivo de la red de datos de la sucursal de Santa Tecla,",
    "con revisión de los equipos de comunicación, reemplazo de conectores dañados,",
    "certificación de cada punto de red con su informe técnico firmado,",
    "actualización del programa de los conmutadores y limpieza de los gabinetes;",
    "incluye la mano de obra de dos técnicos durante tres jornadas, el traslado desde San Salvador,",
    "los materiales menores (amarres, etiquetas, canaleta) y la garantía de noventa días",
    "sobre el trabajo realizado, según la cotización n.º 2024-117 aceptada por el cliente.",
]


def money(value):
    return Decimal(value).quantize(CENT, rounding=ROUND_HALF_UP)


def num(value):
    """A Decimal as the JSON number it stands for (shortest form)."""
    return int(value) if value == value.to_integral_value() else float(str(value))


def grouped(value):
    return f"{money(value):,.2f}"


def long_description(rng, length):
    text = ""
    while len(text) < length:
        text += rng.choice(LONG_PARTS) + " "
    return text[:length].rstrip()


def words(value):
    """The total in Spanish words, as issuers write it in totalLetras."""
    units = ["", "UNO", "DOS", "TRES", "CUATRO", "CINCO", "SEIS", "SIETE", "OCHO", "NUEVE", "DIEZ",
             "ONCE", "DOCE", "TRECE", "CATORCE", "QUINCE", "DIECISÉIS", "DIECISIETE", "DIECIOCHO",
             "DIECINUEVE", "VEINTE", "VEINTIUNO", "VEINTIDÓS", "VEINTITRÉS", "VEINTICUATRO",
             "VEINTICINCO", "VEINTISÉIS", "VEINTISIETE", "VEINTIOCHO", "VEINTINUEVE"]
    tens = ["", "", "", "TREINTA", "CUARENTA", "CINCUENTA", "SESENTA", "SETENTA", "OCHENTA", "NOVENTA"]
    hundreds = ["", "CIENTO", "DOSCIENTOS", "TRESCIENTOS", "CUATROCIENTOS", "QUINIENTOS", "SEISCIENTOS",
                "SETECIENTOS", "OCHOCIENTOS", "NOVECIENTOS"]

    def below_thousand(n):
        if n == 100:
            return "CIEN"
        head, rest = divmod(n, 100)
        text = hundreds[head]
        if rest < 30:
            tail = units[rest]
        else:
            tail = tens[rest // 10] + (" Y " + units[rest % 10] if rest % 10 else "")
        return (text + " " + tail).strip()

    def below_million(n):
        thousands, rest = divmod(n, 1000)
        text = "" if thousands == 0 else ("MIL" if thousands == 1 else below_thousand(thousands) + " MIL")
        return (text + " " + below_thousand(rest)).strip()

    whole = int(value)
    cents = int((money(value) - whole) * 100)
    millions, rest = divmod(whole, 1000000)
    text = "" if millions == 0 else ("UN MILLÓN" if millions == 1 else below_million(millions) + " MILLONES")
    text = (text + " " + below_million(rest)).strip() or "CERO"
    return f"{text} {cents:02d}/100 DÓLARES"


class Builder:
    """One document of one type: its random source, its parties and items."""

    def __init__(self, tipo, count):
        self.tipo = tipo
        self.count = count
        self.rng = random.Random(f"{tipo}-{count}")
        self.issuer = COMPANIES[self.rng.randrange(len(COMPANIES))]
        self.buyer = COMPANIES[(COMPANIES.index(self.issuer) + 1) % len(COMPANIES)]
        self.person = PEOPLE[self.rng.randrange(len(PEOPLE))]
        self.code = str(uuid.UUID(int=self.rng.getrandbits(128), version=4)).upper()
        self.seal = f"2024{self.rng.getrandbits(128):032X}"[:40]

    def uuid(self):
        return str(uuid.UUID(int=self.rng.getrandbits(128), version=4)).upper()

    def identificacion(self, version, contingency_fields=True):
        serial = f"{self.rng.randrange(1, 10**9):015d}"
        ident = {
            "version": version, "ambiente": "00", "tipoDte": self.tipo,
            "numeroControl": f"DTE-{self.tipo}-M001P001-{serial}", "codigoGeneracion": self.code,
            "tipoModelo": 1, "tipoOperacion": 1,
        }
        if contingency_fields:
            ident["tipoContingencia"] = None
            # The export schema spells it so.
            ident["motivoContigencia" if self.tipo == "11" else "motivoContin"] = None
        ident.update({"fecEmi": ISSUE_DAY.isoformat(), "horEmi": "15:07:09", "tipoMoneda": "USD"})
        return ident

    def address(self, company):
        departamento, municipio, complemento = company[6]
        return {"departamento": departamento, "municipio": municipio, "complemento": complemento}

    def emisor(self, keys="codEstable"):
        nit, nrc, nombre, comercial, actividad, descripcion, _ = self.issuer
        party = {"nit": nit, "nrc": nrc, "nombre": nombre, "codActividad": actividad, "descActividad": descripcion,
                 "nombreComercial": comercial, "tipoEstablecimiento": "02", "direccion": self.address(self.issuer),
                 "telefono": "22637788", "correo": "facturacion@dicumaq.com.sv"}
        if keys is None:
            pass
        elif keys == "codEstable":
            party.update({"codEstableMH": "M001", "codEstable": "0001", "codPuntoVentaMH": "P001",
                          "codPuntoVenta": "01"})
        else:
            party.update({"codigoMH": "M001", "codigo": "0001", "puntoVentaMH": "P001", keys: "01"})
        return party

    def company_receptor(self):
        nit, nrc, nombre, comercial, actividad, descripcion, _ = self.buyer
        return {"nit": nit, "nrc": nrc, "nombre": nombre, "codActividad": actividad, "descActividad": descripcion,
                "nombreComercial": comercial, "direccion": self.address(self.buyer), "telefono": "24405566",
                "correo": "compras@cliente.com.sv"}

    def description(self, index):
        if index % 7 == 1:
            return long_description(self.rng, 1000 if index == 1 else 300 + 50 * (index % 5))
        return f"{self.rng.choice(GOODS)} (lote {index:03d})"

    def quantity_price(self):
        quantity = Decimal(self.rng.randrange(1, 25))
        price = Decimal(self.rng.randrange(150, 85000)) / 100
        return quantity, price

    def apendice(self):
        return [{"campo": "Vendedor", "etiqueta": "Atendido por", "valor": "Karla Sofía Alvarenga"},
                {"campo": "Pedido", "etiqueta": "Orden de compra", "valor": f"OC-{self.rng.randrange(1000, 9999)}"}]

    def extension(self, plate=True):
        ext = {"nombEntrega": "Julio César Ayala", "docuEntrega": "02345678-9", "nombRecibe": self.person[0],
               "docuRecibe": self.person[1], "observaciones": "Entregar en horario de 8:00 a 16:00 h."}
        if plate:
            ext["placaVehiculo"] = "P123456"
        return ext

    def related(self, kinds):
        return [{"tipoDocumento": kinds[i % len(kinds)], "tipoGeneracion": 2, "numeroDocumento": self.uuid(),
                 "fechaEmision": (ISSUE_DAY - timedelta(days=10 + i)).isoformat()} for i in range(2)]

    def pagos(self, total, credit=False):
        if credit:
            return [{"codigo": "05", "montoPago": num(total), "referencia": "Transferencia Banco Agrícola",
                     "plazo": "01", "periodo": 30}]
        cash = money(total * Decimal("0.4"))
        return [{"codigo": "01", "montoPago": num(cash), "referencia": None, "plazo": None, "periodo": None},
                {"codigo": "02", "montoPago": num(total - cash), "referencia": "Tarjeta terminada en 4321",
                 "plazo": None, "periodo": None}]

    def otros(self):
        return [{"codDocAsociado": 1, "descDocumento": "Contrato de suministro n.º 45/2024",
                 "detalleDocumento": "Suministro trimestral según contrato firmado en San Salvador",
                 "medico": None}]


def sale_items(b, with_iva):
    """Items of 01, 03, 04, 05 and 06: some exempt, some not subject, most taxed."""
    items = []
    for i in range(1, b.count + 1):
        quantity, price = b.quantity_price()
        amount = money(quantity * price)
        kind = "gravada" if i % 5 else ("exenta" if i % 10 else "nosuj")
        item = {"numItem": i, "tipoItem": 2 if i % 7 == 1 else 1, "numeroDocumento": None,
                "cantidad": num(quantity), "codigo": f"PRD-{i:04d}", "codTributo": None,
                "uniMedida": 99 if i % 7 == 1 else 59, "descripcion": b.description(i), "precioUni": num(price),
                "montoDescu": 0, "ventaNoSuj": num(amount) if kind == "nosuj" else 0,
                "ventaExenta": num(amount) if kind == "exenta" else 0,
                "ventaGravada": num(amount) if kind == "gravada" else 0,
                "tributos": None if kind != "gravada" or with_iva else ["20"]}
        items.append((item, kind, amount))
    return items


def sums(items):
    total = {"gravada": Decimal(0), "exenta": Decimal(0), "nosuj": Decimal(0)}
    for _, kind, amount in items:
        total[kind] += amount
    return total


def iva_of(amount):
    return money(amount * Decimal("0.13"))


def factura(b):
    items = sale_items(b, with_iva=True)
    for item, kind, amount in items:
        item.update({"psv": 0, "noGravado": 0, "ivaItem": num(money(amount / Decimal("1.13") * Decimal("0.13")))
                     if kind == "gravada" else 0})
    total = sums(items)
    sub = total["gravada"] + total["exenta"] + total["nosuj"]
    iva = sum((Decimal(str(item["ivaItem"])) for item, _, _ in items), Decimal(0))
    name, dui = b.person
    resumen = {"totalNoSuj": num(total["nosuj"]), "totalExenta": num(total["exenta"]),
               "totalGravada": num(total["gravada"]), "subTotalVentas": num(sub), "descuNoSuj": 0, "descuExenta": 0,
               "descuGravada": 0, "porcentajeDescuento": 0, "totalDescu": 0, "tributos": None, "subTotal": num(sub),
               "ivaRete1": 0, "reteRenta": 0, "montoTotalOperacion": num(sub), "totalNoGravado": 0,
               "totalPagar": num(sub), "totalLetras": words(sub), "totalIva": num(iva), "saldoFavor": 0,
               "condicionOperacion": 1, "pagos": b.pagos(sub), "numPagoElectronico": None}
    receptor = {"tipoDocumento": "13", "numDocumento": dui, "nrc": None, "nombre": name, "codActividad": None,
                "descActividad": None, "direccion": {"departamento": "06", "municipio": "14",
                                                     "complemento": "Residencial Los Héroes, pasaje 3, casa 21"},
                "telefono": "77889900", "correo": "maria.hernandez@correo.com.sv"}
    doc = {"identificacion": b.identificacion(1),
           "documentoRelacionado": b.related(["04"]) if b.count > 3 else None, "emisor": b.emisor(),
           "receptor": receptor, "otrosDocumentos": b.otros() if b.count > 3 else None,
           "ventaTercero": {"nit": "06140101001011", "nombre": "Comercializadora Santaneca Peñate, S.A."}
           if b.count > 3 else None,
           "cuerpoDocumento": [item for item, _, _ in items], "resumen": resumen, "extension": b.extension(),
           "apendice": b.apendice()}
    return doc, sub, name, [item["descripcion"] for item, _, _ in items]


def credito_fiscal(b):
    """03, 04, 05 and 06: taxed items priced without IVA, the IVA in resumen.tributos."""
    items = sale_items(b, with_iva=False)
    if b.tipo in ("05", "06"):
        related = b.related(["03"])
        for n, (item, _, _) in enumerate(items):
            item["numeroDocumento"] = related[n % len(related)]["numeroDocumento"]
    if b.tipo == "03":
        for item, _, _ in items:
            item.update({"psv": 0, "noGravado": 0})
    total = sums(items)
    sub = total["gravada"] + total["exenta"] + total["nosuj"]
    iva = iva_of(total["gravada"])
    retained = money(total["gravada"] / 100) if b.count > 3 and b.tipo in ("03", "06") else Decimal(0)
    operation = sub + iva
    resumen = {"totalNoSuj": num(total["nosuj"]), "totalExenta": num(total["exenta"]),
               "totalGravada": num(total["gravada"]), "subTotalVentas": num(sub), "descuNoSuj": 0,
               "descuExenta": 0, "descuGravada": 0, "porcentajeDescuento": 0, "totalDescu": 0,
               "tributos": [{"codigo": "20", "descripcion": "Impuesto al Valor Agregado 13%", "valor": num(iva)}],
               "subTotal": num(sub)}
    if b.tipo != "04":
        resumen.update({"ivaPerci1": 0, "ivaRete1": num(retained), "reteRenta": 0})
    resumen["montoTotalOperacion"] = num(operation)
    pay = operation - retained
    if b.tipo == "03":
        resumen.update({"totalNoGravado": 0, "totalPagar": num(pay), "totalLetras": words(pay), "saldoFavor": 0,
                        "condicionOperacion": 2 if b.count > 3 else 1,
                        "pagos": b.pagos(pay, credit=b.count > 3), "numPagoElectronico": None})
    else:
        resumen["totalLetras"] = words(operation)
        if b.tipo != "04":
            resumen["condicionOperacion"] = 1
        if b.tipo == "06":
            resumen["numPagoElectronico"] = None
        if b.tipo == "05":
            del resumen["porcentajeDescuento"]
        if b.tipo == "06":
            del resumen["porcentajeDescuento"]
    receptor = b.company_receptor()
    if b.tipo == "04":
        nit = receptor.pop("nit")
        receptor = {"tipoDocumento": "36", "numDocumento": nit, **receptor, "bienTitulo": "04"}
    doc = {"identificacion": b.identificacion(3)}
    if b.tipo in ("05", "06"):
        doc["documentoRelacionado"] = related
    else:
        doc["documentoRelacionado"] = b.related(["04", "09"] if b.tipo == "03" else ["01", "03"]) \
            if b.count > 3 else None
    doc.update({"emisor": b.emisor(keys=None if b.tipo in ("05", "06") else "codEstable"), "receptor": receptor})
    if b.tipo == "03":
        doc["otrosDocumentos"] = b.otros() if b.count > 3 else None
    doc.update({"ventaTercero": {"nit": "06140101001011", "nombre": "Comercializadora Santaneca Peñate, S.A."}
                if b.count > 3 else None,
                "cuerpoDocumento": [item for item, _, _ in items], "resumen": resumen,
                "extension": b.extension(plate=b.tipo == "03"), "apendice": b.apendice() if b.count > 3 else None})
    total_shown = pay if b.tipo == "03" else operation
    return doc, total_shown, receptor["nombre"], [item["descripcion"] for item, _, _ in items]


def retencion(b):
    items, subject, retained = [], Decimal(0), Decimal(0)
    for i in range(1, b.count + 1):
        amount = money(Decimal(b.rng.randrange(10000, 900000)) / 100)
        iva = money(amount / 100)
        subject += amount
        retained += iva
        items.append({"numItem": i, "tipoDte": "03", "tipoDoc": 2, "numDocumento": b.uuid(),
                      "fechaEmision": (ISSUE_DAY - timedelta(days=i)).isoformat(), "montoSujetoGrav": num(amount),
                      "codigoRetencionMH": "22", "ivaRetenido": num(iva), "descripcion": b.description(i)})
    receptor = b.company_receptor()
    nit = receptor.pop("nit")
    receptor = {"tipoDocumento": "36", "numDocumento": nit, **receptor}
    doc = {"identificacion": b.identificacion(1), "emisor": b.emisor(keys="puntoVenta"), "receptor": receptor,
           "cuerpoDocumento": items,
           "resumen": {"totalSujetoRetencion": num(subject), "totalIVAretenido": num(retained),
                       "totalIVAretenidoLetras": words(retained)},
           "extension": b.extension(plate=False), "apendice": b.apendice() if b.count > 3 else None}
    return doc, retained, receptor["nombre"], [item["descripcion"] for item in items]


def liquidacion(b):
    items, total = [], {"gravada": Decimal(0), "exenta": Decimal(0), "nosuj": Decimal(0)}
    iva_total = Decimal(0)
    for i in range(1, b.count + 1):
        amount = money(Decimal(b.rng.randrange(5000, 500000)) / 100)
        exempt = money(amount / 10) if i % 4 == 0 else Decimal(0)
        iva = iva_of(amount)
        total["gravada"] += amount
        total["exenta"] += exempt
        iva_total += iva
        items.append({"numItem": i, "tipoDte": "03", "tipoGeneracion": 2, "numeroDocumento": b.uuid(),
                      "fechaGeneracion": (ISSUE_DAY - timedelta(days=i)).isoformat(), "ventaNoSuj": 0,
                      "ventaExenta": num(exempt), "ventaGravada": num(amount), "exportaciones": 0,
                      "tributos": ["20"], "ivaItem": num(iva),
                      "obsItem": f"Liquidación de ventas por cuenta de {b.issuer[2]}, documento {i}: "
                                 + b.description(i)})
    sub = total["gravada"] + total["exenta"]
    operation = sub + iva_total
    resumen = {"totalNoSuj": 0, "totalExenta": num(total["exenta"]), "totalGravada": num(total["gravada"]),
               "totalExportacion": 0, "subTotalVentas": num(sub),
               "tributos": [{"codigo": "20", "descripcion": "Impuesto al Valor Agregado 13%",
                             "valor": num(iva_total)}],
               "montoTotalOperacion": num(operation), "ivaPerci": 0, "total": num(operation),
               "totalLetras": words(operation), "condicionOperacion": 1}
    receptor = b.company_receptor()
    receptor["nombreComercial"] = receptor["nombreComercial"] or "Sin nombre comercial"
    doc = {"identificacion": b.identificacion(1, contingency_fields=False), "emisor": b.emisor(),
           "receptor": receptor, "cuerpoDocumento": items, "resumen": resumen,
           "extension": b.extension(plate=False), "apendice": b.apendice()}
    return doc, operation, receptor["nombre"], [item["obsItem"] for item in items]


def contable(b):
    operations = money(Decimal(b.rng.randrange(100000, 5000000)) / 100)
    iva = iva_of(operations)
    perceived = money(operations * Decimal("0.02"))
    commission = money(operations * Decimal("0.035"))
    commission_iva = iva_of(commission)
    liquid = operations + iva - perceived - commission - commission_iva
    emisor = b.emisor(keys="puntoVentaContri")
    receptor = b.company_receptor()
    receptor["nombreComercial"] = receptor["nombreComercial"] or "Sin nombre comercial"
    receptor.update({"tipoEstablecimiento": "01", "codigoMH": "M002", "puntoVentaMH": "P002"})
    cuerpo = {"periodoLiquidacionFechaInicio": "2024-02-01", "periodoLiquidacionFechaFin": "2024-02-29",
              "codLiquidacion": "LIQ-2024-02", "cantidadDoc": 128, "valorOperaciones": num(operations),
              "montoSinPercepcion": 0, "descripSinPercepcion": None, "subTotal": num(operations), "iva": num(iva),
              "montoSujetoPercepcion": num(operations), "ivaPercibido": num(perceived), "comision": num(commission),
              "porcentComision": "3.5 %", "ivaComision": num(commission_iva), "liquidoApagar": num(liquid),
              "totalLetras": words(liquid), "observaciones": "Liquidación de cobros con tarjeta de febrero"}
    doc = {"identificacion": b.identificacion(1, contingency_fields=False), "emisor": emisor,
           "receptor": receptor, "cuerpoDocumento": cuerpo,
           "extension": {"nombEntrega": "Julio César Ayala", "docuEntrega": "02345678-9", "codEmpleado": "E-0042"},
           "apendice": None}
    return doc, liquid, receptor["nombre"], []


def exportacion(b):
    items, total = [], Decimal(0)
    for i in range(1, b.count + 1):
        quantity, price = b.quantity_price()
        amount = money(quantity * price)
        total += amount
        items.append({"numItem": i, "codigo": f"EXP-{i:04d}", "descripcion": b.description(i),
                      "cantidad": num(quantity), "uniMedida": 34 if i % 3 else 59, "precioUni": num(price),
                      "montoDescu": 0, "ventaGravada": num(amount), "tributos": ["C3"], "noGravado": 0})
    freight, insurance = Decimal("350.00"), Decimal("125.50")
    operation = total + freight + insurance
    emisor = b.emisor()
    emisor.update({"tipoItemExpor": 1, "recintoFiscal": "02", "regimen": "EX-1.1000.000"})
    receptor = {"nombre": "Importadora Los Ángeles Café Inc.", "codPais": "9450", "nombrePais": "Estados Unidos",
                "complemento": "1200 Wilshire Boulevard, Suite 300, Los Angeles, CA 90017", "tipoDocumento": "37",
                "numDocumento": "95-1234567", "nombreComercial": "LA Café Imports", "tipoPersona": 2,
                "descActividad": "Importación y distribución de café", "telefono": "+1 213 555 0147",
                "correo": "purchasing@lacafeimports.com"}
    transport = {"codDocAsociado": 4, "descDocumento": None, "detalleDocumento": None, "modoTransp": 3,
                 "placaTrans": "C-123456", "numConductor": "01234567-8", "nombreConductor": "Santos Ramírez Ayala"}
    resumen = {"totalGravada": num(total), "descuento": 0, "porcentajeDescuento": 0, "totalDescu": 0,
               "seguro": num(insurance), "flete": num(freight), "montoTotalOperacion": num(operation),
               "totalNoGravado": 0, "totalPagar": num(operation), "totalLetras": words(operation),
               "condicionOperacion": 2, "pagos": b.pagos(operation, credit=True), "codIncoterms": "09",
               "descIncoterms": "FOB-Libre a bordo", "observaciones": "Embarque por Puerto de Acajutla",
               "numPagoElectronico": None}
    doc = {"identificacion": b.identificacion(1), "emisor": emisor, "receptor": receptor,
           "otrosDocumentos": [transport] if b.count > 3 else None,
           "ventaTercero": {"nit": "06140101001011", "nombre": "Comercializadora Santaneca Peñate, S.A."}
           if b.count > 3 else None,
           "cuerpoDocumento": items, "resumen": resumen, "apendice": b.apendice()}
    return doc, operation, receptor["nombre"], [item["descripcion"] for item in items]


def sujeto_excluido(b):
    items, total = [], Decimal(0)
    for i in range(1, b.count + 1):
        quantity, price = b.quantity_price()
        amount = money(quantity * price)
        total += amount
        items.append({"numItem": i, "tipoItem": 1 if i % 4 else 2, "cantidad": num(quantity),
                      "codigo": f"CMP-{i:04d}", "uniMedida": 32 if i % 4 else 99, "descripcion": b.description(i),
                      "precioUni": num(price), "montoDescu": 0, "compra": num(amount)})
    rent = money(total / 10)
    pay = total - rent
    name, dui = b.person
    sujeto = {"tipoDocumento": "13", "numDocumento": dui.replace("-", ""), "nombre": name, "codActividad": "01271",
              "descActividad": "Cultivo de café",
              "direccion": {"departamento": "02", "municipio": "07", "complemento": "Cantón San Jerónimo, Metapán"},
              "telefono": "78451236", "correo": None}
    resumen = {"totalCompra": num(total), "descu": 0, "totalDescu": 0, "subTotal": num(total), "ivaRete1": 0,
               "reteRenta": num(rent), "totalPagar": num(pay), "totalLetras": words(pay), "condicionOperacion": 1,
               "pagos": b.pagos(pay), "observaciones": "Compra de café pergamino a productor"}
    doc = {"identificacion": b.identificacion(1), "emisor": b.emisor(), "sujetoExcluido": sujeto,
           "cuerpoDocumento": items, "resumen": resumen, "apendice": b.apendice()}
    del doc["emisor"]["nombreComercial"], doc["emisor"]["tipoEstablecimiento"]
    return doc, pay, name, [item["descripcion"] for item in items]


def donacion(b):
    items, total = [], Decimal(0)
    for i in range(1, b.count + 1):
        goods = i % 3 != 0
        quantity, price = b.quantity_price() if goods else (Decimal(1), money(b.rng.randrange(5000, 200000) / 100))
        worn = money(quantity * price / 20) if goods and i % 2 else Decimal(0)
        value = money(quantity * price) - worn
        total += value
        items.append({"numItem": i, "tipoDonacion": 2 if goods else 1, "descripcion": b.description(i),
                      "cantidad": num(quantity), "codigo": f"DON-{i:04d}", "uniMedida": 59 if goods else 99,
                      "valor": num(value), "valorUni": num(price), "depreciacion": num(worn)})
    nit, nrc, nombre, comercial, actividad, descripcion, _ = b.issuer
    donatario = {"tipoDocumento": "36", "numDocumento": nit, "nrc": nrc,
                 "nombre": "Fundación Salvadoreña para la Niñez y la Educación (FUSANE)",
                 "codActividad": "94990", "descActividad": "Actividades de asociaciones n.c.p.",
                 "nombreComercial": "FUSANE", "tipoEstablecimiento": "02",
                 "direccion": {"departamento": "06", "municipio": "14",
                               "complemento": "Colonia Médica, Avenida Dr. Emilio Álvarez n.º 15"},
                 "telefono": "22256070", "correo": "donaciones@fusane.org.sv", "codEstableMH": "M001",
                 "codEstable": "0001", "codPuntoVentaMH": "P001", "codPuntoVenta": "01"}
    bnit, bnrc, bnombre, *_ = b.buyer
    donante = {"tipoDocumento": "36", "numDocumento": bnit, "nrc": bnrc, "nombre": bnombre,
               "codActividad": b.buyer[4], "descActividad": b.buyer[5], "direccion": b.address(b.buyer),
               "telefono": "24405566", "correo": "rse@donante.com.sv", "codDomiciliado": 1, "codPais": "9300"}
    doc = {"identificacion": b.identificacion(1, contingency_fields=False), "donatario": donatario,
           "donante": donante,
           "otrosDocumentos": [{"codDocAsociado": 1, "descDocumento": "Acta de donación n.º 12/2024",
                                "detalleDocumento": "Donación para el programa de becas escolares de Chalatenango"}],
           "cuerpoDocumento": items,
           "resumen": {"valorTotal": num(total), "totalLetras": words(total),
                       "pagos": [{"codigo": "05", "montoPago": num(total), "referencia": "Transferencia"}]},
           "apendice": b.apendice()}
    return doc, total, bnombre, [item["descripcion"] for item in items], donatario


OBSERVATIONS = [
    "Mercadería revisada y recibida conforme por el área de bodega; cualquier reclamo por daños o faltantes",
    "debe presentarse dentro de los cinco días hábiles siguientes a la entrega, con copia de este documento",
    "y fotografías del empaque. Los precios incluyen el traslado hasta las instalaciones del cliente",
    "en el área metropolitana de San Salvador; fuera de ella se cobra el flete según la tarifa vigente.",
]


def observations(b):
    """Short for 3 items; for 45 long enough to wrap over many lines (the schema allows 3000)."""
    if b.count <= 3:
        return "Entregar en horario de 8:00 a 16:00 h."
    text = ""
    while len(text) < 1400:
        text += " ".join(OBSERVATIONS) + " "
    return text.strip()


def district(direccion):
    """The second generation's distrito, required in every structured address."""
    if isinstance(direccion, dict):
        direccion["distrito"] = direccion["departamento"] + direccion["municipio"] + "01"


def slim_emisor(emisor):
    for key in ("tipoEstablecimiento", "codEstableMH", "codPuntoVentaMH", "codigoMH", "puntoVentaMH"):
        emisor.pop(key, None)


def document_receptor(receptor):
    """05, 06 and 08 name the receptor's identity document instead of a NIT."""
    nit = receptor.pop("nit")
    return {"tipoDocumento": "36", "numDocumento": nit, **receptor}


def second_resumen(b, doc, facts):
    """ivaRete1 / ivaPerci1 renamed, reteRenta and extension gone, the observations in resumen."""
    resumen = doc.get("resumen")
    if b.tipo in ("01", "03", "05", "06"):
        retained = resumen.pop("ivaRete1")
        resumen.pop("reteRenta")
        if b.tipo != "01":
            resumen["ivaPerci"] = resumen.pop("ivaPerci1")
        resumen["ivaRete"] = retained
        if retained:
            facts.append(grouped(Decimal(str(retained))))
    if b.tipo in ("01", "03", "04", "05", "06", "07", "08"):
        doc.pop("extension", None)
        resumen["observaciones"] = observations(b)
        facts.append(resumen["observaciones"])
    if doc.get("ventaTercero") and b.tipo in ("01", "03", "04", "05", "06", "11"):
        doc["ventaTercero"]["codDomiciliado"] = 1


def correction_v2(b, doc, facts):
    """05 and 06: each line's own taxes, the new totals block and its amount due."""
    resumen, lines_iva, lines_retained = doc["resumen"], Decimal(0), Decimal(0)
    for item in doc["cuerpoDocumento"]:
        iva = iva_of(Decimal(str(item["ventaGravada"])))
        retained = money(Decimal(str(item["ventaGravada"])) / 100) if resumen["ivaRete"] else Decimal(0)
        lines_iva += iva
        lines_retained += retained
        item.update({"noGravado": 0, "ivaPerci": 0, "totalIva": num(iva), "ivaRete": num(retained)})
    for key in ("descuNoSuj", "descuExenta", "descuGravada", "subTotal"):
        resumen.pop(key)
    if resumen["ivaRete"]:
        # The lines' own retentions, rounded each, make the document's.
        facts.remove(grouped(Decimal(str(resumen["ivaRete"]))))
        facts.append(grouped(lines_retained))
    resumen["ivaRete"] = num(lines_retained)
    pay = Decimal(str(resumen["montoTotalOperacion"])) - lines_retained
    resumen.update({"totalIva": num(lines_iva), "totalNoGravado": 0, "totalPagar": num(pay),
                    "codigoRetencionMH": "22" if lines_retained else None})
    first_iva = doc["cuerpoDocumento"][0]["totalIva"]
    facts.append(grouped(Decimal(str(first_iva))))
    return pay


def retencion_v2(b, doc, facts):
    emisor = doc["emisor"]
    emisor["codEstable"] = emisor.pop("codigo")
    emisor["codPuntoVenta"] = emisor.pop("puntoVenta")
    iva = Decimal(0)
    for item in doc["cuerpoDocumento"]:
        item["tipoGeneracion"] = item.pop("tipoDoc")
        iva += iva_of(Decimal(str(item["montoSujetoGrav"])))
    resumen = doc["resumen"]
    doc["resumen"] = {"totalSujetoRetencion": resumen["totalSujetoRetencion"], "totalIva": num(iva),
                      "totalIvaRetenido": resumen["totalIVAretenido"],
                      "totalLetras": resumen["totalIVAretenidoLetras"], "observaciones": resumen["observaciones"]}
    facts.append(grouped(iva))


def liquidacion_v2(b, doc, facts):
    for item in doc["cuerpoDocumento"]:
        item["fechaEmision"] = item.pop("fechaGeneracion")
        item["observaciones"] = item.pop("obsItem")[:1000].rstrip()
    doc["resumen"]["exportacion"] = doc["resumen"].pop("totalExportacion")
    doc["receptor"]["codDomiciliado"] = 1


def contable_v2(b, doc, facts):
    emisor = doc["emisor"]
    emisor.pop("puntoVentaContri")
    emisor["puntoVenta"] = "PV-Centro-07"
    doc["receptor"].pop("codigoMH")
    doc["receptor"].pop("puntoVentaMH")
    doc["cuerpoDocumento"]["porcentComision"] = 3.5
    facts.append("PV-Centro-07")


def exportacion_v2(b, doc, facts):
    ident = doc["identificacion"]
    ident["motivoContin"] = ident.pop("motivoContigencia")
    doc["emisor"]["tipoRegimen"] = "EX1"
    for i, item in enumerate(doc["cuerpoDocumento"], 1):
        item.update({"tipoItem": 1, "numeroDocumento": None, "codTributo": None})
    resumen = doc["resumen"]
    resumen["descuGravada"] = resumen.pop("descuento")
    resumen.update({"tributos": None, "totalNoOnerosas": 0, "saldoFavor": 0})
    doc["documentoRelacionado"] = None
    doc["compraTercero"] = None
    if b.count > 3:
        doc["ventaTercero"] = None
        doc["compraTercero"] = {"numDocumento": "06140101001011", "nombre": "Beneficio de Café Santa Rita, S.A."}
        doc["documentoRelacionado"] = [{"tipoDocumento": "04", "tipoGeneracion": 2, "numeroDocumento": b.uuid(),
                                        "fechaEmision": (ISSUE_DAY - timedelta(days=3)).isoformat()}]
        facts.extend([doc["compraTercero"]["nombre"], doc["documentoRelacionado"][0]["numeroDocumento"]])
    facts.append(resumen["observaciones"])


def donacion_v2(b, doc, facts):
    doc["emisor"] = doc.pop("donatario")
    doc["receptor"] = doc.pop("donante")
    for item in doc["cuerpoDocumento"]:
        item["tipoDepreciacion"] = item.pop("depreciacion")


SECOND = {"05": correction_v2, "06": correction_v2, "07": retencion_v2, "08": liquidacion_v2,
          "09": contable_v2, "11": exportacion_v2, "15": donacion_v2}


def second_generation(b, doc, total):
    """The document as the Normativa v2.0 schemas write it, the facts its print must add, and its total."""
    doc = json.loads(json.dumps(doc))
    facts = []
    # Its own codigoGeneracion: both generations of one document print side by side.
    b.code = b.uuid()
    doc["identificacion"]["codigoGeneracion"] = b.code
    doc["identificacion"]["version"] = VERSION_V2.get(b.tipo, 2)
    if "sujetoExcluido" in doc:
        doc = {("receptor" if k == "sujetoExcluido" else k): v for k, v in doc.items()}
        doc["resumen"].pop("ivaRete1")
    if b.tipo in ("05", "06", "08"):
        doc["identificacion"]["fusion"] = "06142305961047" if b.count > 3 else None
        doc["receptor"] = document_receptor(doc["receptor"])
        if b.count > 3:
            facts.append("06142305961047")
    second_resumen(b, doc, facts)
    shown = SECOND.get(b.tipo, lambda *_: None)(b, doc, facts)
    issuer = doc.get("emisor") or doc.get("donatario")
    slim_emisor(issuer)
    for party in ("emisor", "receptor"):
        if isinstance(doc.get(party), dict):
            district(doc[party].get("direccion"))
    facts.append(issuer["direccion"]["distrito"])
    words_of = None
    resumen = doc.get("resumen") or {}
    if b.count <= 3 and "totalLetras" in resumen:
        resumen["totalLetras"] = None
        words_of = program_words(shown if shown is not None else total)
    return doc, facts, (shown if shown is not None else total), words_of


def program_words(value):
    """The amount in words as the program writes it for a document without totalLetras."""
    units = ["", "UN", "DOS", "TRES", "CUATRO", "CINCO", "SEIS", "SIETE", "OCHO", "NUEVE", "DIEZ", "ONCE",
             "DOCE", "TRECE", "CATORCE", "QUINCE", "DIECISEIS", "DIECISIETE", "DIECIOCHO", "DIECINUEVE", "VEINTE",
             "VEINTIUN", "VEINTIDOS", "VEINTITRES", "VEINTICUATRO", "VEINTICINCO", "VEINTISEIS", "VEINTISIETE",
             "VEINTIOCHO", "VEINTINUEVE"]
    tens = ["", "", "", "TREINTA", "CUARENTA", "CINCUENTA", "SESENTA", "SETENTA", "OCHENTA", "NOVENTA"]
    hundreds = ["", "CIENTO", "DOSCIENTOS", "TRESCIENTOS", "CUATROCIENTOS", "QUINIENTOS", "SEISCIENTOS",
                "SETECIENTOS", "OCHOCIENTOS", "NOVECIENTOS"]

    def group(n):
        if n == 100:
            return "CIEN"
        head, rest = divmod(n, 100)
        tail = units[rest] if rest < 30 else tens[rest // 10] + (" Y " + units[rest % 10] if rest % 10 else "")
        return (hundreds[head] + " " + tail).strip()

    whole = int(money(value))
    cents = int((money(value) - whole) * 100)
    thousands, rest = divmod(whole, 1000)
    text = ((group(thousands) + " MIL " if thousands else "") + group(rest)).strip() or "CERO"
    return f"SON: {text} CON {cents:02d}/100 DOLARES"


BUILDERS = {
    "01": factura, "03": credito_fiscal, "04": credito_fiscal,
    "05": credito_fiscal, "06": credito_fiscal, "07": retencion,
    "08": liquidacion, "09": contable, "11": exportacion, "14": sujeto_excluido, "15": donacion,
}


def decimal_multiple(validator, step, instance, schema):
    """Amounts are decimal texts: 0.07 is a multiple of 0.01, whatever binary floats make of it."""
    if validator.is_type(instance, "number") and Fraction(str(instance)) % Fraction(str(step)) != 0:
        yield jsonschema.ValidationError(f"{instance!r} is not a multiple of {step}")


Validator = jsonschema.validators.extend(jsonschema.Draft7Validator, {"multipleOf": decimal_multiple})


def renamed_empty(schema):
    """This copy of fe-nd-v4 names its tributos "" (in the items and in resumen): read as tributos."""
    if isinstance(schema, dict):
        return {("tributos" if k == "" else k): renamed_empty(v) for k, v in schema.items()}
    if isinstance(schema, list):
        return [("tributos" if v == "" else renamed_empty(v)) for v in schema]
    return schema


def schema_of(tipo, generation):
    name = (SCHEMA_OF if generation == 1 else SCHEMA_V2_OF)[tipo]
    with open(os.path.join(SCHEMAS, name), encoding="utf-8") as f:
        return renamed_empty(json.load(f))


def validate(tipo, generation, doc, name):
    errors = sorted(Validator(schema_of(tipo, generation), format_checker=Validator.FORMAT_CHECKER).iter_errors(doc),
                    key=lambda e: list(e.absolute_path))
    for error in errors[:10]:
        print(f"{name}: {'/'.join(map(str, error.absolute_path))}: {error.message[:300]}", file=sys.stderr)
    return not errors


def build(tipo, count, generation=1):
    b = Builder(tipo, count)
    result = BUILDERS[tipo](b)
    doc, total, counterparty, descriptions = result[:4]
    issuer = result[4] if len(result) > 4 else doc["emisor"]
    facts, words_of = [], None
    if generation == 2:
        doc, facts, total, words_of = second_generation(b, doc, total)
        if tipo == "08":
            descriptions = [item["observaciones"] for item in doc["cuerpoDocumento"]]
    expected = {
        "tipoDte": tipo, "generation": generation, "typeName": TYPE_NAME[tipo], "items": len(descriptions),
        "codigoGeneracion": b.code, "numeroControl": doc["identificacion"]["numeroControl"], "sello": b.seal,
        "issuerName": issuer["nombre"], "issuerNit": issuer.get("nit", issuer.get("numDocumento")),
        "counterpartyName": counterparty, "total": grouped(total), "fecEmi": ISSUE_DAY.strftime("%d/%m/%Y"),
        "qr": "https://admin.factura.gob.sv/consultaPublica?ambiente=00&codGen="
              f"{b.code}&fechaEmi={ISSUE_DAY.isoformat()}",
        "descriptions": descriptions,
        # What the second generation adds to the print: its observations, renamed totals, new facts.
        "facts": facts,
        # The program's own words for a document without totalLetras.
        "words": words_of,
    }
    return doc, expected


def main(argv):
    if len(argv) < 2 or argv[1].startswith("-"):
        print(__doc__, file=sys.stderr)
        return 2
    out, signed = argv[1], "--signed" in argv[2:]
    os.makedirs(out, exist_ok=True)
    index, valid = [], True
    for generation in (1, 2):
        for tipo in SCHEMA_OF:
            for count in ((1,) if tipo == "09" else (3, 45)):
                name = f"{tipo}-{count}.json" if generation == 1 else f"{tipo}-{count}-v2.json"
                doc, expected = build(tipo, count, generation)
                valid = validate(tipo, generation, doc, name) and valid
                if signed:
                    doc = {**doc, "firmaElectronica": "eyJhbGciOiJSUzUxMiJ9.cHJ1ZWJh.ZmlybWE",
                           "selloRecibido": expected["sello"]}
                with open(os.path.join(out, name), "w", encoding="utf-8", newline="\n") as f:
                    json.dump(doc, f, ensure_ascii=False, indent=1)
                index.append({"file": name, **expected})
    # A validator that passed everything would make every document above "valid".
    for generation in (1, 2):
        broken, _ = build("01", 3, generation)
        broken["identificacion"]["codigoGeneracion"] = "not-a-code"
        if Validator(schema_of("01", generation)).is_valid(broken):
            print("the schema validator accepts a broken document", file=sys.stderr)
            valid = False
    with open(os.path.join(out, "index.json"), "w", encoding="utf-8", newline="\n") as f:
        json.dump(index, f, ensure_ascii=False, indent=1)
    return 0 if valid else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
