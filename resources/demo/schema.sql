-- Corvex demo database (SQLite). Dates are ISO-8601 text, pictures BLOBs;
-- stored procedures live as SELECT bodies in the table procedures.

CREATE TABLE Parametros (
  Parametro TEXT NOT NULL PRIMARY KEY,
  Valor TEXT
);

CREATE TABLE SYSDATA (
  LOGO BLOB
);

-- The issuing company, one row.
CREATE TABLE EMPRESA (
  RAZONSOCIAL TEXT NOT NULL,
  NOMBRECOMERCIAL TEXT NOT NULL,
  ACTIVIDAD TEXT,
  ESTABLECIMIENTO TEXT,
  NIT TEXT,
  NRC TEXT,
  DIRECCION TEXT
);

CREATE TABLE FACTURAS_ENC (
  SERIE TEXT NOT NULL,
  NUMERO INTEGER NOT NULL,
  ENVIADA INTEGER NOT NULL DEFAULT 0,
  FECHA TEXT NOT NULL,
  VENCE TEXT,
  FORMATO INTEGER,
  IDFACTURA INTEGER,
  PED_ID INTEGER,
  TIPOPAGO TEXT,
  VENDEDOR TEXT,
  USUARIO TEXT,
  -- DTE identification, filled when the tax authority accepts the document
  IDDOCUMENTO TEXT,
  NUMEROCONTROL TEXT,
  SELLORECIBIDO TEXT,
  JSONDTE TEXT,
  JSONFIRMADO TEXT,
  -- buyer
  CODIGO TEXT,
  NOMBRE TEXT,
  DIRECCION TEXT,
  EMAIL TEXT,
  ACTIVIDAD TEXT,
  NIT TEXT,
  NRC TEXT,
  TIPODOCUMENTO TEXT,
  NUMERODOCUMENTO TEXT,
  ENTREGA TEXT,
  INSTRUCCIONES TEXT,
  -- totals
  VNETA REAL NOT NULL DEFAULT 0,
  IVA REAL NOT NULL DEFAULT 0,
  SUBTOTAL REAL NOT NULL DEFAULT 0,
  PERCEPCION REAL NOT NULL DEFAULT 0,
  RETENCION REAL NOT NULL DEFAULT 0,
  TOTAL REAL NOT NULL DEFAULT 0,
  PRIMARY KEY (SERIE, NUMERO)
);

CREATE TABLE FACTURAS_DET (
  SERIE TEXT NOT NULL,
  NUMERO INTEGER NOT NULL,
  LINEA INTEGER NOT NULL,
  IDARTICULO TEXT,
  ARTICULO TEXT,
  CANTIDAD REAL NOT NULL,
  -- unit price without VAT, and as the consumer pays it (VAT included)
  PRECIO REAL NOT NULL,
  PRECIO_FINAL REAL NOT NULL,
  TLINEA REAL NOT NULL,
  IITLINEA REAL NOT NULL,
  PRIMARY KEY (SERIE, NUMERO, LINEA),
  FOREIGN KEY (SERIE, NUMERO) REFERENCES FACTURAS_ENC (SERIE, NUMERO)
);

-- The documents still to be mailed, with the columns the dispatch run reads.
CREATE VIEW vwDTECorvex AS
SELECT e.IDDOCUMENTO AS IdDocumento,
       e.SELLORECIBIDO AS SelloRecibido,
       e.JSONDTE AS JSonDTE,
       e.JSONFIRMADO AS JSonFirmado,
       e.FORMATO AS Formato,
       e.SERIE AS Serie,
       e.NUMERO AS Numero,
       e.EMAIL AS eMail,
       e.NOMBRE AS tNombre,
       (SELECT NOMBRECOMERCIAL FROM EMPRESA) AS NomCorp,
       e.FECHA AS Fecha
  FROM FACTURAS_ENC e
 WHERE e.ENVIADA = 0;

CREATE TABLE procedures (
  name TEXT PRIMARY KEY,
  body TEXT
);

-- The document data for the printed layouts: one row per document line, the
-- document-level columns repeated on every row. @Opcion 9 is the only option.
INSERT INTO procedures (name, body) VALUES ('tovGetFESalvador', '
SELECT e.FECHA AS Fecha, e.IDDOCUMENTO AS IdDocumento, e.NUMEROCONTROL AS Control,
       e.SELLORECIBIDO AS Recibido, e.VENCE AS VENCE, e.USUARIO AS Usuario,
       c.RAZONSOCIAL AS RazonSocial, c.NOMBRECOMERCIAL AS NombreComercial, c.ACTIVIDAD AS emActividad,
       c.ESTABLECIMIENTO AS emEstablecimiento, c.NIT AS emNit, c.NRC AS emNRC, c.DIRECCION AS emDireccion,
       e.TIPODOCUMENTO AS FETipoDocumento, e.NUMERODOCUMENTO AS FENumeroDocumento,
       e.NIT AS reNit, e.NRC AS reNRC, e.CODIGO AS Codigo, e.NOMBRE AS tNombre, e.DIRECCION AS tDireccion,
       e.ACTIVIDAD AS reActividad, e.EMAIL AS reMail,
       e.PED_ID AS PED_ID, e.TIPOPAGO AS TIPOPAGO, e.VENDEDOR AS VENDEDOR, e.IDFACTURA AS IDFactura,
       e.ENTREGA AS Entrega, e.INSTRUCCIONES AS Instrucciones,
       d.CANTIDAD AS CANTIDAD, d.IDARTICULO AS IdArticulo, d.ARTICULO AS Articulo,
       d.PRECIO_FINAL AS Precio_Final, d.PRECIO AS Precio, d.IITLINEA AS IITLinea, d.TLINEA AS TLinea,
       e.VNETA AS VNETA, e.IVA AS IVA, e.SUBTOTAL AS SUBTOTAL, e.PERCEPCION AS PERCEPCION,
       e.TOTAL AS TOTAL, e.RETENCION AS Retencion, ROUND(e.TOTAL - e.RETENCION, 2) AS Pagar
  FROM FACTURAS_ENC e
  JOIN FACTURAS_DET d ON d.SERIE = e.SERIE AND d.NUMERO = e.NUMERO
 CROSS JOIN EMPRESA c
 WHERE @Opcion = 9 AND e.SERIE = @Serie AND e.NUMERO = @Numero
 ORDER BY d.LINEA');

INSERT INTO Parametros (Parametro, Valor) VALUES ('sysEmail', 'facturacion@laceiba.example');
INSERT INTO Parametros (Parametro, Valor) VALUES ('sysWeb', 'www.laceiba.example');
INSERT INTO Parametros (Parametro, Valor) VALUES ('sysSMTPServer', 'pickup:outbox');
INSERT INTO Parametros (Parametro, Valor) VALUES ('sysSMTPPort', '25');
INSERT INTO Parametros (Parametro, Valor) VALUES ('sysSMTPUser', '');
INSERT INTO Parametros (Parametro, Valor) VALUES ('sysSMTPPassword', '');
INSERT INTO Parametros (Parametro, Valor) VALUES ('sysSMTPFrom', 'dte@laceiba.example');
INSERT INTO Parametros (Parametro, Valor) VALUES ('FESVAmbiente', '00');

INSERT INTO EMPRESA VALUES (
  'COMERCIAL LA CEIBA, S.A. DE C.V.', 'FERRETERIA LA CEIBA',
  'Venta al por mayor de articulos de ferreteria y pinturas', 'Casa Matriz',
  'NIT: 0614-150894-101-3', 'NRC: 84512-7',
  'Final Av. Roosevelt y 55 Av. Sur, Local 3, San Salvador, El Salvador');
