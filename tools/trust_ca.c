/* trust_ca.exe <ca.der>: adds a DER certificate to the machine ROOT store of
   the Wine prefix it runs in, so that urlmon accepts the local HTTPS server
   without the host's own trust store being touched. Exit code 0 on success. */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

/* A CA certificate is a few kilobytes; anything larger is not one. */
#define CERT_CAPACITY 65536

static BYTE certData[CERT_CAPACITY];

int main(int argc, char **argv)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    HCERTSTORE store = NULL;
    DWORD length = 0;
    int exitCode = 1;

    if (argc != 2) {
        fprintf(stderr, "usage: trust_ca.exe <ca.der>\n");
        return 2;
    }
    file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "trust_ca: cannot open %s (0x%08lX)\n", argv[1], GetLastError());
        goto cleanup;
    }
    if (!ReadFile(file, certData, CERT_CAPACITY, &length, NULL) || length == 0 || length == CERT_CAPACITY) {
        fprintf(stderr, "trust_ca: cannot read %s as one certificate\n", argv[1]);
        goto cleanup;
    }
    store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "ROOT");
    if (!store) {
        fprintf(stderr, "trust_ca: cannot open the machine ROOT store (0x%08lX)\n", GetLastError());
        goto cleanup;
    }
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, certData, length,
                                          CERT_STORE_ADD_REPLACE_EXISTING, NULL)) {
        fprintf(stderr, "trust_ca: cannot add the certificate (0x%08lX)\n", GetLastError());
        goto cleanup;
    }
    exitCode = 0;

cleanup:
    if (store)
        CertCloseStore(store, 0);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return exitCode;
}
