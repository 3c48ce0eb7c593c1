public class Smoke_Rostavel implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class Rostavel";
    }

    public String scenario() {
        return "the four uninitialized-string tests";
    }

    public void run() {
        Rostavel r = new Rostavel();
        r.lengthTest();
        r.charsTest();
        r.utfLengthTest();
        r.utfCharsTest();
    }
}
