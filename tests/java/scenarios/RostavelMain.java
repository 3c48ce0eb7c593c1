/** Runs the four Rostavel natives, then says so: anything else on the streams is the library's. */
public final class RostavelMain {
    private RostavelMain() {}

    public static void main(String[] args) {
        Rostavel r = new Rostavel();
        r.lengthTest();
        r.charsTest();
        r.utfLengthTest();
        r.utfCharsTest();
        System.out.println("returned");
    }
}
