-- The SQL Server login Corvex uses, with exactly the rights it needs in the
-- sales database. The program has the login, its password and the catalog
-- built in, so they must be these. Run once as a sysadmin:
--   sqlcmd -S db01\VENTAS -E -i corvex_login.sql
-- The password has only digits and signs, which the Windows password policy
-- refuses: the policy is switched off for this login alone.

USE master;
IF SUSER_ID(N'tov') IS NULL
  CREATE LOGIN tov WITH PASSWORD = N'+-582417', DEFAULT_DATABASE = Velantrix, CHECK_POLICY = OFF,
    CHECK_EXPIRATION = OFF;
GO

USE Velantrix;
IF USER_ID(N'tov') IS NULL
  CREATE USER tov FOR LOGIN tov;
GO

-- Reading: the pending documents, the parameters, the logo.
GRANT SELECT ON dbo.vwDTECorvex TO tov;
GRANT SELECT ON dbo.Parametros TO tov;
GRANT SELECT ON dbo.SYSDATA TO tov;
-- The document's data for its PDF.
GRANT EXECUTE ON dbo.tovGetFESalvador TO tov;
-- Marking a mailed document:
--   UPDATE FACTURAS_ENC SET ENVIADA=1 WHERE SERIE='...' AND NUMERO=...
-- SQL Server also asks SELECT on the columns the WHERE clause reads.
GRANT UPDATE (ENVIADA) ON dbo.FACTURAS_ENC TO tov;
GRANT SELECT (SERIE, NUMERO) ON dbo.FACTURAS_ENC TO tov;
GO
